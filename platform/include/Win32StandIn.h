#pragma once
// Control of the Win32 stand-in for the host application and tests: the
// resources of a module, the scripted user of dialogs, and the record of
// message boxes. Not part of the Win32 API. Of the plug-in, only its module
// entry (plugin/ModuleEntry.cpp, built off Windows) includes it, to register
// the module's resource script as the Windows loader would provide it; the
// exporter's own code never does.

#include <windows.h>

#include <string>
#include <vector>

namespace win32 {

// Makes a resource script (.rc text, with any #define lines it needs before
// it) the resources of module: its string table for LoadStringA and its
// dialog templates for DialogBoxParamA. Returns false, with a reason in
// *error, when the script cannot be read.
bool RegisterResourceScript(HINSTANCE module, const std::string& script,
                            std::string* error = nullptr);
void ForgetResources(HINSTANCE module);

// One step of the scripted user of a dialog.
struct DialogAction {
  enum Kind {
    kType,    // type text into an edit, key by key: the edit's rules apply
    kPaste,   // paste text into an edit: replaces the text, no digit filter
    kCheck,   // click a check box until it shows the state in checked
    kPress,   // click a button (OK, Cancel, a check box toggles)
    kEscape,  // press the Escape key: arrives as IDCANCEL
    kClose,   // click the close box: arrives as IDCANCEL
  };
  Kind kind = kPress;
  int control_id = 0;
  std::string text;
  bool checked = false;

  static DialogAction Type(int id, std::string text);
  static DialogAction Paste(int id, std::string text);
  static DialogAction Check(int id, bool checked);
  static DialogAction Press(int id);
  static DialogAction Escape();
  static DialogAction Close();
};

// The actions the next dialog runs, in order. A dialog that opens without a
// script (or runs out of actions while still open) is cancelled as by Escape,
// and returns 0 if its procedure still does not end it. Each DialogBoxParamA
// call takes the script, also one that fails to open its dialog. Typing
// appends to an edit's text, as with the caret at the end; a typed '\b'
// removes the last character. An action naming a missing control, or one of
// the wrong kind, is a scripting error: it is reported on standard error and
// the dialog is cancelled as when the script runs out.
void SetDialogScript(std::vector<DialogAction> actions);

// For tests: while on, DialogBoxParamA fails as when its dialog cannot be
// created: it returns -1 without calling the dialog procedure (the script is
// taken all the same).
void SetDialogCreationFails(bool fails);

// What a control of the last dialog held when it closed, for tests.
struct ControlSnapshot {
  int id = 0;
  std::string kind;  // "button", "edit", "static", "groupbox", "checkbox", "defbutton"
  std::string text;
  long style = 0;
  int x = 0, y = 0, width = 0, height = 0;
  bool checked = false;
  int text_limit = 0;  // edits: what the user may type; 0 for other controls
};
struct DialogSnapshot {
  int template_id = 0;
  std::string caption;
  std::string font;
  int font_size = 0;
  long style = 0;
  int width = 0, height = 0;
  std::vector<ControlSnapshot> controls;  // template order
  int init_dialog_result = 0;             // what WM_INITDIALOG returned
  std::string script_error;               // the scripting error, or empty
};
// The last dialog shown; empty snapshot (template_id 0) before any.
const DialogSnapshot& LastDialog();

// A message box shown by MessageBoxA.
struct MessageRecord {
  std::string caption;
  std::string text;
  unsigned type = 0;
};
const std::vector<MessageRecord>& Messages();
void ClearMessages();
// When on, every message box is also printed to standard error as
// "caption: text".
void SetEchoMessages(bool echo);
// Called after each message box is recorded (before MessageBoxA returns), for
// tests that check what has happened by then; null to remove.
void SetMessageHook(void (*hook)(const MessageRecord& message, void* context), void* context);

// The window GetActiveWindow reports when no dialog is open.
HWND MainWindow();

// How often InitCommonControls has been called in this process.
int InitCommonControlsCalls();
// Called by InitCommonControls, after counting the call, for tests that check
// what has happened by then; null to remove.
void SetInitCommonControlsHook(void (*hook)(void* context), void* context);

// For tests: while on, GetFullPathNameA fails (returns 0) for every path, as
// it does on Windows for a path it cannot resolve.
void SetFullPathNameFails(bool fails);

}  // namespace win32
