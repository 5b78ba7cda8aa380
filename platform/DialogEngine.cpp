// Modal dialogs without a window system: DialogBoxParamA builds the controls
// of a dialog template, sends the dialog procedure the messages Windows would
// send, and plays a scripted user's actions until the procedure ends the
// dialog. The dialog-item functions work on the dialogs that are open.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "ResourceScript.h"
#include "Win32StandIn.h"

namespace win32 {

DialogAction DialogAction::Type(int id, std::string text) {
  DialogAction action;
  action.kind = kType;
  action.control_id = id;
  action.text = std::move(text);
  return action;
}

DialogAction DialogAction::Paste(int id, std::string text) {
  DialogAction action = Type(id, std::move(text));
  action.kind = kPaste;
  return action;
}

DialogAction DialogAction::Check(int id, bool checked) {
  DialogAction action;
  action.kind = kCheck;
  action.control_id = id;
  action.checked = checked;
  return action;
}

DialogAction DialogAction::Press(int id) {
  DialogAction action;
  action.kind = kPress;
  action.control_id = id;
  return action;
}

DialogAction DialogAction::Escape() {
  DialogAction action;
  action.kind = kEscape;
  return action;
}

DialogAction DialogAction::Close() {
  DialogAction action;
  action.kind = kClose;
  return action;
}

namespace {

// What an edit accepts from the user before EM_LIMITTEXT is sent, and the
// most it accepts after EM_LIMITTEXT with 0.
constexpr int kDefaultTextLimit = 30000;
constexpr int kLargestTextLimit = 0x7FFFFFFE;

// Window handles are plain numbers, never addresses: each dialog takes a
// block of kHandleStride values, its controls the ones after its own.
constexpr uintptr_t kMainWindowHandle = 0x10010;
constexpr uintptr_t kFirstDialogHandle = 0x20000;
constexpr uintptr_t kHandleStride = 0x10000;

HWND MakeHandle(uintptr_t value) { return reinterpret_cast<HWND>(value); }

struct Control {
  ControlTemplate source;
  HWND handle = nullptr;
  std::string text;
  bool checked = false;
  int text_limit = kDefaultTextLimit;
};

struct OpenDialog {
  DialogTemplate source;
  HWND handle = nullptr;
  DLGPROC proc = nullptr;
  std::vector<Control> controls;  // template order; never resized once open
  bool ended = false;
  INT_PTR result = 0;
};

struct EngineState {
  std::vector<DialogAction> script;  // for the next dialog
  std::vector<OpenDialog*> open;     // the innermost dialog last
  DialogSnapshot last;
  uintptr_t next_handle = kFirstDialogHandle;
  bool creation_fails = false;  // tests: every dialog fails to be created
};

EngineState& State() {
  static EngineState state;
  return state;
}

OpenDialog* FindDialog(HWND handle) {
  if (!handle) return nullptr;
  for (OpenDialog* dialog : State().open) {
    if (dialog->handle == handle) return dialog;
  }
  return nullptr;
}

// Control ids are 16-bit words in a template, so -1 and 0xFFFF are one id.
Control* FindControl(OpenDialog* dialog, int id) {
  if (!dialog) return nullptr;
  for (Control& control : dialog->controls) {
    if (static_cast<WORD>(control.source.id) == static_cast<WORD>(id)) return &control;
  }
  return nullptr;
}

LRESULT Send(OpenDialog& dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return dialog.proc(dialog.handle, message, wParam, lParam);
}

void Notify(OpenDialog& dialog, const Control& control, WORD code) {
  Send(dialog, WM_COMMAND, MAKEWPARAM(control.source.id, code),
       reinterpret_cast<LPARAM>(control.handle));
}

bool IsEdit(const Control& control) { return control.source.kind == ControlKind::kEdit; }

// What every control does with the messages the dialog-item functions send.
LRESULT ControlMessage(OpenDialog& dialog, Control& control, UINT message, WPARAM wParam,
                       LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT: {
      // The length limit governs the user only; programs may set any text.
      const char* text = reinterpret_cast<const char*>(lParam);
      control.text = text ? text : "";
      if (IsEdit(control)) Notify(dialog, control, EN_CHANGE);
      return TRUE;
    }
    case WM_GETTEXT: {
      char* buffer = reinterpret_cast<char*>(lParam);
      if (!buffer || wParam == 0) return 0;
      const size_t count = control.text.size() < wParam - 1 ? control.text.size() : wParam - 1;
      std::memcpy(buffer, control.text.data(), count);
      buffer[count] = '\0';
      return static_cast<LRESULT>(count);
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(control.text.size());
    case EM_LIMITTEXT:
      if (IsEdit(control)) {
        control.text_limit = wParam == 0 || wParam > static_cast<WPARAM>(kLargestTextLimit)
                                 ? kLargestTextLimit
                                 : static_cast<int>(wParam);
      }
      return 0;
    case BM_GETCHECK:
      return control.source.kind == ControlKind::kCheckBox && control.checked ? BST_CHECKED
                                                                              : BST_UNCHECKED;
    case BM_SETCHECK:
      // Setting the state is not a click: no notification.
      if (control.source.kind == ControlKind::kCheckBox) control.checked = wParam != BST_UNCHECKED;
      return 0;
    default:
      return 0;
  }
}

// A click on an automatic check box toggles it, then tells the dialog.
void ClickCheckBox(OpenDialog& dialog, Control& control) {
  control.checked = !control.checked;
  Notify(dialog, control, BN_CLICKED);
}

// Escape, and the default answer to WM_CLOSE: the Cancel command, from the
// Cancel button when there is one. A disabled Cancel button blocks both.
void Cancel(OpenDialog& dialog) {
  Control* cancel = FindControl(&dialog, IDCANCEL);
  if (cancel && (cancel->source.style & WS_DISABLED)) return;
  Send(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
       reinterpret_cast<LPARAM>(cancel ? cancel->handle : nullptr));
}

const char* ActionName(DialogAction::Kind kind) {
  switch (kind) {
    case DialogAction::kType:
      return "Type";
    case DialogAction::kPaste:
      return "Paste";
    case DialogAction::kCheck:
      return "Check";
    case DialogAction::kPress:
      return "Press";
    case DialogAction::kEscape:
      return "Escape";
    case DialogAction::kClose:
      return "Close";
  }
  return "?";
}

// Plays one action. Returns false with a reason for an action the user could
// not carry out.
bool RunAction(OpenDialog& dialog, const DialogAction& action, std::string* error) {
  if (action.kind == DialogAction::kEscape) {
    Cancel(dialog);
    return true;
  }
  if (action.kind == DialogAction::kClose) {
    if (Send(dialog, WM_CLOSE, 0, 0) == 0 && !dialog.ended) Cancel(dialog);
    return true;
  }

  Control* control = FindControl(&dialog, action.control_id);
  auto refuse = [&](const std::string& why) {
    *error = std::string(ActionName(action.kind)) + " on control " +
             std::to_string(action.control_id) + ": " + why;
    return false;
  };
  if (!control) return refuse("no such control");
  if (control->source.style & WS_DISABLED) return refuse("the control is disabled");
  const ControlKind kind = control->source.kind;

  switch (action.kind) {
    case DialogAction::kType: {
      if (kind != ControlKind::kEdit) return refuse("not an edit");
      for (char key : action.text) {
        if (dialog.ended) break;
        if (key == '\b') {
          if (control->text.empty()) continue;
          control->text.pop_back();
        } else {
          // A digits-only edit refuses other keys; a full edit refuses all.
          if ((control->source.style & ES_NUMBER) && !std::isdigit(static_cast<unsigned char>(key)))
            continue;
          if (static_cast<long>(control->text.size()) >= control->text_limit) continue;
          control->text += key;
        }
        Notify(dialog, *control, EN_CHANGE);
      }
      return true;
    }
    case DialogAction::kPaste: {
      if (kind != ControlKind::kEdit) return refuse("not an edit");
      // Pasting replaces the whole text; only the length limit applies.
      std::string text = action.text;
      if (static_cast<long>(text.size()) > control->text_limit)
        text.resize(static_cast<size_t>(control->text_limit));
      if (text != control->text) {
        control->text = text;
        Notify(dialog, *control, EN_CHANGE);
      }
      return true;
    }
    case DialogAction::kCheck: {
      if (kind != ControlKind::kCheckBox) return refuse("not a check box");
      if (control->checked != action.checked) ClickCheckBox(dialog, *control);
      return true;
    }
    case DialogAction::kPress: {
      if (kind == ControlKind::kCheckBox) {
        ClickCheckBox(dialog, *control);
      } else if (kind == ControlKind::kPushButton || kind == ControlKind::kDefPushButton) {
        Notify(dialog, *control, BN_CLICKED);
      } else {
        return refuse("not a button");
      }
      return true;
    }
    default:
      return true;
  }
}

const char* KindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::kPushButton:
      return "button";
    case ControlKind::kDefPushButton:
      return "defbutton";
    case ControlKind::kCheckBox:
      return "checkbox";
    case ControlKind::kGroupBox:
      return "groupbox";
    case ControlKind::kEdit:
      return "edit";
    case ControlKind::kStatic:
      return "static";
  }
  return "?";
}

DialogSnapshot Snapshot(const OpenDialog& dialog, int init_dialog_result,
                        const std::string& script_error) {
  DialogSnapshot snapshot;
  const DialogTemplate& source = dialog.source;
  snapshot.template_id = source.id;
  snapshot.caption = source.caption;
  snapshot.font = source.font;
  snapshot.font_size = source.font_size;
  snapshot.style = static_cast<long>(source.style);
  snapshot.width = source.width;
  snapshot.height = source.height;
  for (const Control& control : dialog.controls) {
    ControlSnapshot item;
    item.id = control.source.id;
    item.kind = KindName(control.source.kind);
    item.text = control.text;
    item.style = static_cast<long>(control.source.style);
    item.x = control.source.x;
    item.y = control.source.y;
    item.width = control.source.width;
    item.height = control.source.height;
    item.checked = control.checked;
    item.text_limit = control.text_limit;
    snapshot.controls.push_back(std::move(item));
  }
  snapshot.init_dialog_result = init_dialog_result;
  snapshot.script_error = script_error;
  return snapshot;
}

// Keeps a dialog on the open list for as long as DialogBoxParamA runs, also
// when the dialog procedure throws.
class OpenDialogScope {
 public:
  explicit OpenDialogScope(OpenDialog* dialog) { State().open.push_back(dialog); }
  ~OpenDialogScope() { State().open.pop_back(); }
  OpenDialogScope(const OpenDialogScope&) = delete;
  OpenDialogScope& operator=(const OpenDialogScope&) = delete;
};

}  // namespace

void SetDialogScript(std::vector<DialogAction> actions) { State().script = std::move(actions); }

void SetDialogCreationFails(bool fails) { State().creation_fails = fails; }

const DialogSnapshot& LastDialog() { return State().last; }

HWND MainWindow() { return MakeHandle(kMainWindowHandle); }

}  // namespace win32

using win32::Control;
using win32::OpenDialog;

extern "C" {

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND, DLGPROC dialogProc,
                               LPARAM initParam) {
  win32::EngineState& state = win32::State();
  std::vector<win32::DialogAction> script = std::move(state.script);
  state.script.clear();
  const win32::DialogTemplate* source = win32::FindDialogTemplate(instance, templateName);
  if (!source || !dialogProc || state.creation_fails) return -1;

  OpenDialog dialog;
  dialog.source = *source;
  dialog.proc = dialogProc;
  dialog.handle = win32::MakeHandle(state.next_handle);
  state.next_handle += win32::kHandleStride;
  uintptr_t control_handle = reinterpret_cast<uintptr_t>(dialog.handle);
  for (const win32::ControlTemplate& item : dialog.source.controls) {
    Control control;
    control.source = item;
    control.handle = win32::MakeHandle(++control_handle);
    control.text = item.text;
    // Only edits have a length limit.
    control.text_limit = item.kind == win32::ControlKind::kEdit ? win32::kDefaultTextLimit : 0;
    dialog.controls.push_back(std::move(control));
  }
  win32::OpenDialogScope scope(&dialog);

  // WM_INITDIALOG names the control that would get the focus: the first
  // enabled one that is a tab stop.
  HWND focus = nullptr;
  for (const Control& control : dialog.controls) {
    if ((control.source.style & WS_TABSTOP) && (control.source.style & WS_VISIBLE) &&
        !(control.source.style & WS_DISABLED)) {
      focus = control.handle;
      break;
    }
  }
  const LRESULT init_result =
      win32::Send(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), initParam);

  std::string script_error;
  for (const win32::DialogAction& action : script) {
    if (dialog.ended) break;
    if (!win32::RunAction(dialog, action, &script_error)) {
      std::fprintf(stderr, "win32 dialog script: %s\n", script_error.c_str());
      break;
    }
  }
  // Out of actions (or stopped by an error): the user walks away with Escape.
  if (!dialog.ended) win32::Cancel(dialog);
  const INT_PTR result = dialog.ended ? dialog.result : 0;

  state.last = win32::Snapshot(dialog, static_cast<int>(init_result), script_error);
  return result;
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
  OpenDialog* open = win32::FindDialog(dialog);
  if (!open) return FALSE;
  open->ended = true;
  open->result = result;
  return TRUE;
}

HWND WINAPI GetActiveWindow(void) {
  const win32::EngineState& state = win32::State();
  return state.open.empty() ? win32::MainWindow() : state.open.back()->handle;
}

BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT check) {
  OpenDialog* open = win32::FindDialog(dialog);
  Control* control = win32::FindControl(open, id);
  if (!control) return FALSE;
  win32::ControlMessage(*open, *control, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND dialog, int id) {
  OpenDialog* open = win32::FindDialog(dialog);
  Control* control = win32::FindControl(open, id);
  if (!control) return 0;
  return static_cast<UINT>(win32::ControlMessage(*open, *control, BM_GETCHECK, 0, 0));
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  OpenDialog* open = win32::FindDialog(dialog);
  Control* control = win32::FindControl(open, id);
  if (!control) return FALSE;
  win32::ControlMessage(*open, *control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
  return TRUE;
}

UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int maxCount) {
  if (!text || maxCount <= 0) return 0;
  OpenDialog* open = win32::FindDialog(dialog);
  Control* control = win32::FindControl(open, id);
  if (!control) {
    text[0] = '\0';
    return 0;
  }
  return static_cast<UINT>(win32::ControlMessage(
      *open, *control, WM_GETTEXT, static_cast<WPARAM>(maxCount), reinterpret_cast<LPARAM>(text)));
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam,
                                   LPARAM lParam) {
  OpenDialog* open = win32::FindDialog(dialog);
  Control* control = win32::FindControl(open, id);
  if (!control) return 0;
  return win32::ControlMessage(*open, *control, message, wParam, lParam);
}

}  // extern "C"
