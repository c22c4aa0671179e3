// The configure command: the plugin has no settings, so the host's
// "configure" request shows a small modal About box and nothing else.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "plugin/host_interface.h"

extern "C" {

// Runs the About box (dialog 101 of `module`, the instance the host
// passes in) modally, owned by `parent`. Returns the dialog's result: 0 once
// it is closed with OK, -1 when it cannot be created.
int KZR_API ConfigurePacker(HWND parent, HINSTANCE module);

}  // extern "C"
