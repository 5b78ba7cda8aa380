// Placeholder until the Win32 layer lands.
#include <windows.h>

#include "Win32StandIn.h"

namespace win32 {
DialogAction DialogAction::Type(int, std::string) { return {}; }
DialogAction DialogAction::Paste(int, std::string) { return {}; }
DialogAction DialogAction::Check(int, bool) { return {}; }
DialogAction DialogAction::Press(int) { return {}; }
DialogAction DialogAction::Escape() { return {}; }
DialogAction DialogAction::Close() { return {}; }
bool RegisterResourceScript(HINSTANCE, const std::string&, std::string*) { return true; }
void ForgetResources(HINSTANCE) {}
void SetDialogScript(std::vector<DialogAction>) {}
const DialogSnapshot& LastDialog() { static DialogSnapshot s; return s; }
const std::vector<MessageRecord>& Messages() { static std::vector<MessageRecord> m; return m; }
void ClearMessages() {}
void SetEchoMessages(bool) {}
void SetMessageHook(void (*)(const MessageRecord&, void*), void*) {}
HWND MainWindow() { return nullptr; }
}  // namespace win32

extern "C" {
INT_PTR WINAPI DialogBoxParamA(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) { return 0; }
BOOL WINAPI EndDialog(HWND, INT_PTR) { return 0; }
HWND WINAPI GetActiveWindow(void) { return nullptr; }
BOOL WINAPI CheckDlgButton(HWND, int, UINT) { return 0; }
UINT WINAPI IsDlgButtonChecked(HWND, int) { return 0; }
BOOL WINAPI SetDlgItemTextA(HWND, int, LPCSTR) { return 0; }
UINT WINAPI GetDlgItemTextA(HWND, int, LPSTR text, int maxCount) { if (maxCount > 0) text[0] = 0; return 0; }
LRESULT WINAPI SendDlgItemMessageA(HWND, int, UINT, WPARAM, LPARAM) { return 0; }
int WINAPI MessageBoxA(HWND, LPCSTR, LPCSTR, UINT) { return IDOK; }
int WINAPI LoadStringA(HINSTANCE, UINT, LPSTR, int) { return 0; }
DWORD WINAPI GetFullPathNameA(LPCSTR, DWORD, LPSTR, LPSTR*) { return 0; }
void WINAPI InitCommonControls(void) {}
}
