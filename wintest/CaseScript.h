#pragma once
// The scripted export cases: plain text that says, for each case, which scene
// to export where, what the user does in the options dialog, and what must be
// seen (the dialog's controls, the message boxes, the file). One script runs
// on Linux through the Win32 stand-in and on Windows through the real dialog.
//
//   identity KEY VALUE        what the module answers (see CaseRunner)
//   case NAME                 starts a case; the lines below belong to it
//   scene NAME                the scene to build (CaseScenes)
//   target PATH               relative to the run folder, '/' separated
//   existing TEXT             a file holding TEXT stands at the target before
//   small-location            no file may grow beyond 2 KB while it runs
//   type CONTROL TEXT         typed key by key at the end of the edit's text
//   paste CONTROL TEXT        pasted over the whole text of the edit
//   check CONTROL on|off      clicked until it shows that state
//   press CONTROL             a button clicked (IDOK, IDCANCEL)
//   escape | close            the Escape key, the close box
//   screenshot NAME           holds the dialog open for a picture (Windows)
//   initial CONTROL checked|unchecked   initial-text CONTROL TEXT
//   initial-limit CONTROL N   the dialog's state before the first step
//   final-text CONTROL TEXT   an edit's text as the dialog closes
//   message CAPTION|TEXT      the next message box; message-with-file if
//                             the target must still exist while it is shown
//   file written|absent|unchanged
//   frames N                  frame count of the written file
//   frame-name I NAME         name of frame I of the written file
//
// CONTROL is a name from resources/resource.h (IDC_FRAMES) or a number. TEXT
// runs to the end of the line; "\b" in typed text is the Backspace key.

#include <string>
#include <utility>
#include <vector>

#include "hostapp/user/DialogUser.h"

namespace wintest {

// What the user does in the options dialog, one step a line.
using DialogStep = hostapp::UserStep;

struct InitialCheck {
  enum Kind { kChecked, kText, kLimit };
  Kind kind = kText;
  int control = 0;
  std::string text;  // expected text, or the limit in decimal
  bool checked = false;
};

struct ExpectedMessage {
  std::string caption;
  std::string text;
  bool with_file = false;  // the target must exist while the box is up
};

struct ExportCase {
  enum FileOutcome { kWritten, kAbsent, kUnchanged };
  std::string name;
  int line = 0;
  std::string scene = "cube";
  std::string target;
  bool has_existing = false;
  std::string existing;
  bool small_location = false;
  std::vector<DialogStep> steps;
  std::vector<InitialCheck> initial;
  std::vector<std::pair<int, std::string>> final_texts;
  std::vector<ExpectedMessage> messages;
  FileOutcome file = kWritten;
  int frames = -1;  // -1: not checked
  std::vector<std::pair<int, std::string>> frame_names;
};

struct CaseScript {
  std::vector<std::pair<std::string, std::string>> identity;
  std::vector<ExportCase> cases;
};

// Reads a script; false with "line N: reason" in *error.
bool ParseCaseScript(const std::string& text, CaseScript* script, std::string* error);

}  // namespace wintest
