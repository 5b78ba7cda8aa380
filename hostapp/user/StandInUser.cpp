// The user at the Win32 stand-in's dialogs: the steps become the stand-in's
// dialog script, and its record of message boxes is what was shown. The
// stand-in runs a dialog's script as it opens, so the controls' state before
// the first step is not observable here, and no person can take over.
#include <sys/stat.h>

#include "Win32StandIn.h"
#include "hostapp/user/DialogUser.h"

namespace hostapp {

namespace {

struct HookContext {
  const UserSettings* settings = nullptr;
  std::vector<ShownMessage> shown;
};

void OnMessage(const win32::MessageRecord& record, void* context) {
  HookContext* hook = static_cast<HookContext*>(context);
  ShownMessage message;
  message.caption = record.caption;
  message.text = record.text;
  struct stat info;
  const std::string& target = hook->settings->target;
  message.target_present = !target.empty() && stat(target.c_str(), &info) == 0;
  hook->shown.push_back(message);
  if (hook->settings->on_message) hook->settings->on_message(message);
}

win32::DialogAction ActionFor(const UserStep& step) {
  switch (step.kind) {
    case UserStep::kType:
      return win32::DialogAction::Type(step.control, step.text);
    case UserStep::kPaste:
      return win32::DialogAction::Paste(step.control, step.text);
    case UserStep::kCheck:
      return win32::DialogAction::Check(step.control, step.checked);
    case UserStep::kPress:
      return win32::DialogAction::Press(step.control);
    case UserStep::kEscape:
      return win32::DialogAction::Escape();
    case UserStep::kClose:
    case UserStep::kScreenshot:
      break;
  }
  return win32::DialogAction::Close();
}

}  // namespace

UserRun RunAsUser(const std::vector<UserStep>& steps, const UserSettings& settings,
                  const std::function<int()>& export_scene) {
  UserRun run;
  if (settings.hand_over) {
    run.error = "no person works the stand-in's dialogs";
    return run;
  }
  std::vector<win32::DialogAction> actions;
  for (const UserStep& step : steps)
    if (step.kind != UserStep::kScreenshot) actions.push_back(ActionFor(step));

  HookContext hook;
  hook.settings = &settings;
  win32::ClearMessages();
  win32::SetMessageHook(&OnMessage, &hook);
  win32::SetDialogScript(actions);
  run.export_result = export_scene();
  win32::SetMessageHook(nullptr, nullptr);

  // The stand-in keeps only the last dialog's snapshot, so after the first
  // export this tells that some dialog has opened, not that this one did; the
  // real dialogs, seen as each arrives, tell it for every export.
  const win32::DialogSnapshot& dialog = win32::LastDialog();
  run.dialog_shown = dialog.template_id != 0;
  run.error = dialog.script_error;
  for (const win32::ControlSnapshot& control : dialog.controls)
    if (control.kind == "edit") run.final_texts[control.id] = control.text;
  run.messages = hook.shown;
  return run;
}

bool RealDialogs() { return false; }

}  // namespace hostapp
