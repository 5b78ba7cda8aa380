#pragma once
// The command line of mdlinfo: the files to read and what to do with them,
// checked before any file is read.

#include <string>
#include <vector>

#include "tools/OptionTable.h"

namespace tools {

// Frames a contact sheet draws at most, and the largest side of a picture.
constexpr int kSheetFrames = 16;
constexpr int kMaxPictureSide = 4096;

struct MdlinfoOptions {
  std::vector<std::string> inputs;
  bool frames = false;  // print every vertex
  bool check = false;
  bool json = false;
  std::string skin_png;
  std::string preview;
  bool frame_given = false;
  long frame = 0;
  bool sheet = false;
  int width = 0, height = 0;  // 0: the default
  std::string gltf;           // the glTF file to write, .glb or .gltf
  bool quake_units = false;   // its sizes in Quake units, not metres
  bool help = false;
  bool version = false;
};

// Every option of mdlinfo, in --help's order.
const OptionTable<MdlinfoOptions>& MdlinfoOptionTable();

// Reads argv. False on a usage error, with the reason in *error; true with
// help or version set (and nothing else checked) when --help, -h or
// --version is given.
bool ParseMdlinfoOptions(int argc, const char* const* argv, MdlinfoOptions* options,
                         std::string* error);

// The text --help prints.
std::string MdlinfoHelpText();

}  // namespace tools
