#pragma once
// The command line of mdlexport: what the user asked for, checked before any
// file is read. Numbers are whole and non-negative, as the dialog's
// digits-only fields would take them; anything else is a usage error rather
// than a value the dialog would quietly turn into something else.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/OptionTable.h"

namespace tools {

// One effect flag of the dialog: its command-line name and its check box.
struct CliFlag {
  const char* name;
  int control_id;
};
// The eight flags in the dialog's order.
const std::vector<CliFlag>& CliFlags();

struct CliOptions {
  std::string scene;
  std::string output;  // empty only with list

  // Dialog entries; one not given leaves the dialog's own default.
  std::string base_name;
  bool base_name_given = false;
  std::optional<int32_t> frames;  // at least 1
  bool all_frames = false;        // every frame of the animation range
  std::optional<int32_t> texture_kb;
  std::optional<int32_t> scale;
  // A height in Quake units (at least 1) that sets the scale instead.
  std::optional<int32_t> height;
  std::optional<int32_t> collision_scale;
  std::vector<int> flag_controls;  // check boxes to tick, no repeats
  bool flat = false;
  bool fullbright = false;
  bool no_random = false;
  bool cancel = false;
  // Show the options dialog to the person at the screen, with the options
  // given entered, instead of pressing OK (Windows).
  bool dialog = false;

  // Import.
  std::string texture;
  std::string animation;
  bool player = false;  // the scene names a Quake III player's folder or one of its parts
  std::string skin;     // the MD3 skin files' name; empty for "default"
  int frames_per_second = 10;
  std::string units;  // empty: the file's own
  // The file's up axis (x, y, z, -x, -y, -z; empty: its format's) and a turn
  // after it, counter-clockwise seen from above: 0, 90, 180 or 270.
  std::string up;
  int turn = 0;
  // Bounds of the guarded import (0: none).
  long import_memory_mib = 4096;
  long import_seconds = 120;

  // A file for the written model's QuakeC "$frame" lines, or empty.
  std::string qc;

  bool list = false;
  bool quiet = false;
  bool strict = false;  // an engine's refusal of the written model fails the run
  bool help = false;
  bool version = false;
};

// Every option of mdlexport, in --help's order.
const OptionTable<CliOptions>& CliOptionTable();

// Reads argv. False on a usage error, with the reason in *error; true with
// help or version set (and nothing else checked) when --help, -h or
// --version is given.
bool ParseCliOptions(int argc, const char* const* argv, CliOptions* options, std::string* error);

// The text --help prints.
std::string CliHelpText();

}  // namespace tools
