// The About box: a modal dialog built from the module's dialog template, with
// one OK button that closes it. Esc and close requests are swallowed, so the
// box goes away only through OK (a click or Enter).
#include "ui/about_box.h"

#include "ui/resource_ids.h"

namespace {

INT_PTR CALLBACK AboutDialogProc(HWND window, UINT message, WPARAM command, LPARAM) {
  if (message != WM_COMMAND) {
    // WM_INITDIALOG included: the dialog manager's defaults apply, and the
    // box does not ask for the default keyboard focus.
    return FALSE;
  }
  // Only IDOK with notification code 0, as a click on OK or Enter (OK is the
  // default push button) sends it. IDCANCEL, which Esc and a close request
  // turn into, and any other notification from OK are handled by doing nothing.
  if (command == IDOK) EndDialog(window, 0);
  return TRUE;
}

}  // namespace

extern "C" int KZR_API ConfigurePacker(HWND parent, HINSTANCE module) {
  // The template comes from the instance the host passed in: the library
  // keeps no handle of its own.
  return static_cast<int>(
      DialogBoxParamA(module, MAKEINTRESOURCEA(KZR_IDD_ABOUT), parent, AboutDialogProc, 0));
}
