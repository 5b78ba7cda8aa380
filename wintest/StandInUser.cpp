// The user of the Win32 stand-in's dialogs: the case's steps become the
// stand-in's dialog script, and its record of message boxes is what was
// shown. The stand-in runs a dialog's script as it opens, so the controls'
// state before the first step is not observable here.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Win32StandIn.h"
#include "wintest/ScriptedUser.h"

namespace wintest {

namespace {

struct HookContext {
  std::string target;
  std::vector<bool> present;
};

void OnMessage(const win32::MessageRecord&, void* context) {
  HookContext* hook = static_cast<HookContext*>(context);
  struct stat info;
  hook->present.push_back(stat(hook->target.c_str(), &info) == 0);
}

win32::DialogAction ActionFor(const DialogStep& step) {
  switch (step.kind) {
    case DialogStep::kType:
      return win32::DialogAction::Type(step.control, step.text);
    case DialogStep::kPaste:
      return win32::DialogAction::Paste(step.control, step.text);
    case DialogStep::kCheck:
      return win32::DialogAction::Check(step.control, step.checked);
    case DialogStep::kPress:
      return win32::DialogAction::Press(step.control);
    case DialogStep::kEscape:
      return win32::DialogAction::Escape();
    case DialogStep::kClose:
    case DialogStep::kScreenshot:
      break;
  }
  return win32::DialogAction::Close();
}

}  // namespace

ExportRun RunScriptedExport(host::SceneExporter& exporter, const std::string& target,
                            hostapp::StandInScene& scene, const ExportCase& export_case,
                            const std::string&) {
  ExportRun run;
  std::vector<win32::DialogAction> actions;
  for (const DialogStep& step : export_case.steps)
    if (step.kind != DialogStep::kScreenshot) actions.push_back(ActionFor(step));

  HookContext hook;
  hook.target = target;
  win32::ClearMessages();
  win32::SetMessageHook(&OnMessage, &hook);
  win32::SetDialogScript(actions);
  run.export_result = exporter.ExportScene(target.c_str(), &scene, &scene);
  win32::SetMessageHook(nullptr, nullptr);

  // The stand-in keeps only the last dialog's snapshot, so after the first
  // case this tells that some dialog has opened, not that this one did; the
  // Windows run, which sees each dialog arrive, checks it for every case.
  const win32::DialogSnapshot& dialog = win32::LastDialog();
  run.dialog_shown = dialog.template_id != 0;
  run.error = dialog.script_error;
  for (const win32::ControlSnapshot& control : dialog.controls)
    if (control.kind == "edit") run.final_texts[control.id] = control.text;
  const std::vector<win32::MessageRecord>& messages = win32::Messages();
  for (size_t i = 0; i < messages.size(); ++i) {
    ShownMessage shown;
    shown.caption = messages[i].caption;
    shown.text = messages[i].text;
    shown.target_present = i < hook.present.size() && hook.present[i];
    run.messages.push_back(shown);
  }
  return run;
}

std::string NativePath(const std::string& run_folder, const std::string& relative) {
  return run_folder + "/" + relative;
}

bool LimitFileSize(bool on, std::string* error) {
  // Only the soft limit moves, so it can be raised again; a write beyond it
  // fails with EFBIG instead of the signal ending the process.
  rlimit limit;
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0) {
    *error = std::string("getrlimit: ") + std::strerror(errno);
    return false;
  }
  signal(SIGXFSZ, on ? SIG_IGN : SIG_DFL);
  limit.rlim_cur = on ? static_cast<rlim_t>(kSmallLocationBytes) : limit.rlim_max;
  if (setrlimit(RLIMIT_FSIZE, &limit) == 0) return true;
  *error = std::string("setrlimit: ") + std::strerror(errno);
  return false;
}

}  // namespace wintest
