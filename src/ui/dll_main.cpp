// The library's entry routine. Nothing is set up per process or per thread,
// and the module handle is not kept: the host passes it to ConfigurePacker.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
