#pragma once
// The user at the exporter's dialogs during one export: works the options
// dialog through a list of steps (typing, pasting, ticking boxes, pressing a
// button) and reads every message box, answering it with OK. Built for
// Windows it plays the steps on the real dialogs, as a person's keyboard and
// mouse would (WindowsUser.cpp); built elsewhere it hands them to the Win32
// stand-in's scripted user (StandInUser.cpp).

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace hostapp {

// The dialog buttons every dialog has (IDOK and IDCANCEL), for callers that
// do not include the Win32 headers.
constexpr int kOkButton = 1;
constexpr int kCancelButton = 2;

struct UserStep {
  enum Kind {
    kType,        // typed key by key at the end of an edit's text
    kPaste,       // pasted over the whole text of an edit
    kCheck,       // a check box clicked until it shows the state in checked
    kPress,       // a button clicked (IDOK, IDCANCEL)
    kEscape,      // the Escape key
    kClose,       // the close box
    kScreenshot,  // the dialog held open for a picture (real dialogs only)
  };
  Kind kind = kPress;
  int control = 0;
  std::string text;  // typed or pasted text, or the picture's name
  bool checked = false;

  static UserStep Type(int control, std::string text);
  static UserStep Paste(int control, std::string text);
  static UserStep Check(int control, bool checked);
  static UserStep Press(int control);
};

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

struct UserSettings {
  // The export's target; whether it exists is noted at each message box.
  std::string target;
  // Called as each message box is read, before it is answered.
  std::function<void(const ShownMessage&)> on_message;
  // Where a screenshot step offers the picture: it writes NAME.ready there
  // ("x y width height" of the dialog on the screen) and waits, at most a
  // minute, for NAME.taken.
  std::string picture_folder;
  // When the steps run out with the options dialog still open, leave it (and
  // every message box) to the person at the screen instead of cancelling it.
  // Real dialogs only.
  bool hand_over = false;
};

struct UserRun {
  int export_result = -1;
  bool dialog_shown = false;
  // The controls before the first step; empty where the platform cannot
  // look at the dialog before its steps run.
  std::map<int, ControlState> initial;
  std::map<int, std::string> final_texts;  // edits, as the dialog closed
  std::vector<ShownMessage> messages;
  std::string error;  // a step the user could not carry out
};

// Runs export_scene (which shows the options dialog) with the user working
// the dialogs; its result is export_result.
UserRun RunAsUser(const std::vector<UserStep>& steps, const UserSettings& settings,
                  const std::function<int()>& export_scene);

// Whether this build works real dialogs, where hand_over and screenshot
// steps mean something.
bool RealDialogs();

}  // namespace hostapp
