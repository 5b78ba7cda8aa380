#pragma once
// What the case runner needs of the platform: loading the plug-in module, and
// a user who works the options dialog and the message boxes of one export.
// WindowsUser.cpp does it with the real Win32 API (a CBT hook sees every
// dialog arrive); StandInUser.cpp with the Win32 stand-in's scripted user.

#include <map>
#include <string>
#include <vector>

#include "host/Plugin.h"
#include "hostapp/scene/StandInScene.h"
#include "wintest/CaseScript.h"

namespace wintest {

struct ControlState {
  bool checked = false;
  std::string text;
  int limit = 0;  // edits only
};

struct ShownMessage {
  std::string caption;
  std::string text;
  bool target_present = false;  // whether the target existed while it was up
};

struct ExportRun {
  int export_result = -1;
  bool dialog_shown = false;
  // The controls before the first step; empty where the platform cannot
  // look at the dialog before its script runs.
  std::map<int, ControlState> initial;
  std::map<int, std::string> final_texts;  // edits, as the dialog closed
  std::vector<ShownMessage> messages;
  std::string error;  // a step the user could not carry out
};

// Runs exporter.ExportScene(target) over scene with the case's dialog steps,
// answering every message box with OK.
ExportRun RunScriptedExport(host::SceneExporter& exporter, const std::string& target,
                            hostapp::StandInScene& scene, const ExportCase& export_case,
                            const std::string& run_folder);

// A '/'-separated relative path joined to the run folder in the platform's
// own form.
std::string NativePath(const std::string& run_folder, const std::string& relative);

// The largest file a small-location case may write.
constexpr long kSmallLocationBytes = 2048;
// Turns the small location on (no file this process writes may grow beyond
// kSmallLocationBytes) or off again. Where a program cannot do it itself the
// script that starts it must have done it; false with a reason.
bool LimitFileSize(bool on, std::string* error);

}  // namespace wintest
