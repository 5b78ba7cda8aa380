#pragma once
// The options of the mdlexport command and the dialog input they become.

#include <string>
#include <vector>

#include "Win32StandIn.h"

namespace hostapp {

struct MdlExportOptions {
  std::string scene;
  std::string output;
  // Each text option is entered only when given; otherwise the dialog keeps
  // its own default.
  bool has_base_name = false;
  std::string base_name;
  // Empty: the dialog's default; "all": every frame of the range; else digits.
  std::string frames;
  std::string texture_kb;
  std::string scale;
  std::string collision_scale;
  // Dialog control ids of the flag boxes to check.
  std::vector<int> flag_controls;
  bool flat = false;
  bool fullbright = false;
  bool no_random = false;
  std::string texture;
  std::string animation;
  int frames_per_second = 10;
  bool list = false;
  bool quiet = false;
  bool cancel = false;
  bool help = false;
};

// Reads argv into options. False with a one-line reason for anything that is
// not a valid command line: an unknown option, a missing value, a number that
// is not a whole number (or does not fit 32 bits), an unknown flag name, a
// frame rate that does not divide the host's ticks per second, or the wrong
// number of file names. --help is valid alone.
bool ParseCommandLine(int argc, const char* const* argv, MdlExportOptions* options,
                      std::string* error);

// The --help text: usage, every option, exit statuses and coordinates.
std::string HelpText();

// The user's part in the options dialog: clear and type every given field,
// set the boxes, then press OK (or Cancel). frames_for_all is the frame
// count typed for "--frames all".
std::vector<win32::DialogAction> DialogScript(const MdlExportOptions& options, int frames_for_all);

}  // namespace hostapp
