#pragma once
#include <windows.h>

namespace vandrell {

class MdlExporter;

// The exporter the open options dialog serves; set by WM_INITDIALOG.
extern MdlExporter* g_dialog_exporter;

// The options dialog's procedure (dialog IDD_EXPORT_OPTIONS). OK stores the
// settings and the model's synctype and flags and ends the dialog with 1;
// Cancel ends it with 0 and stores nothing.
INT_PTR CALLBACK OptionsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace vandrell
