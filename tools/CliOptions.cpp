#include "tools/CliOptions.h"

#include <algorithm>
#include <cstdint>

#include "resources/resource.h"

namespace tools {
namespace {

// Largest number an option takes: the dialog's fields convert to 32-bit
// signed values, and the exporter reports its own limits below this.
constexpr int64_t kLargestNumber = INT32_MAX;

// Reads a whole number written with the digits 0-9 only. False, with a
// reason naming the option, for anything else.
bool ParseWholeNumber(const std::string& option, const std::string& text, int64_t minimum,
                      int64_t* value, std::string* error) {
  if (text.empty()) {
    *error = option + " needs a whole number";
    return false;
  }
  if (text[0] == '-' && text.size() > 1 &&
      std::all_of(text.begin() + 1, text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    *error = option + " cannot be negative: '" + text + "'";
    return false;
  }
  int64_t result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') {
      *error = option + " takes a whole number, not '" + text + "'";
      return false;
    }
    result = result * 10 + (c - '0');
    if (result > kLargestNumber) {
      *error =
          option + " is too large: '" + text + "' (at most " + std::to_string(kLargestNumber) + ")";
      return false;
    }
  }
  if (result < minimum) {
    *error = option + " must be at least " + std::to_string(minimum) + ", not '" + text + "'";
    return false;
  }
  *value = result;
  return true;
}

// The same, kept as the canonical decimal text the dialog is given.
bool ParseNumberText(const std::string& option, const std::string& text, int64_t minimum,
                     std::string* out, std::string* error) {
  int64_t value = 0;
  if (!ParseWholeNumber(option, text, minimum, &value, error)) return false;
  *out = std::to_string(value);
  return true;
}

}  // namespace

const std::vector<CliFlag>& CliFlags() {
  static const std::vector<CliFlag> flags = {
      {"rotate", IDC_ROTATE},
      {"rocket-smoke-trail", IDC_ROCKET_SMOKE_TRAIL},
      {"grenade-smoke-trail", IDC_GRENADE_SMOKE_TRAIL},
      {"gib-long-blood-trail", IDC_GIB_LONG_BLOOD_TRAIL},
      {"gib-short-blood-trail", IDC_GIB_SHORT_BLOOD_TRAIL},
      {"wizard-green-tracer", IDC_WIZARD_GREEN_TRACER},
      {"hellknight-yellow-tracer", IDC_HELLKNIGHT_YELLOW_TRACER},
      {"vore-purple-tracer", IDC_VORE_PURPLE_TRACER},
  };
  return flags;
}

bool ParseCliOptions(int argc, const char* const* argv, CliOptions* options, std::string* error) {
  std::vector<std::string> files;
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    // "--name=value" is the same as "--name value".
    std::string value;
    bool inline_value = false;
    const size_t equals = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      value = arg.substr(equals + 1);
      arg = arg.substr(0, equals);
      inline_value = true;
    }
    auto take_value = [&]() -> bool {
      if (inline_value) return true;
      if (i + 1 >= argc) {
        *error = arg + " needs a value";
        return false;
      }
      value = argv[++i];
      return true;
    };
    auto no_value = [&]() -> bool {
      if (!inline_value) return true;
      *error = arg + " takes no value";
      return false;
    };

    if (arg == "--help" || arg == "-h") {
      options->help = true;
      return true;
    } else if (arg == "--base-name") {
      if (!take_value()) return false;
      options->base_name = value;
      options->base_name_given = true;
    } else if (arg == "--frames") {
      if (!take_value()) return false;
      if (value == "all") {
        options->all_frames = true;
        options->frames.clear();
      } else {
        if (!ParseNumberText(arg, value, 1, &options->frames, error)) return false;
        options->all_frames = false;
      }
    } else if (arg == "--texture-kb") {
      if (!take_value() || !ParseNumberText(arg, value, 0, &options->texture_kb, error))
        return false;
    } else if (arg == "--scale") {
      if (!take_value() || !ParseNumberText(arg, value, 0, &options->scale, error)) return false;
    } else if (arg == "--height") {
      if (!take_value() || !ParseNumberText(arg, value, 1, &options->height, error)) return false;
    } else if (arg == "--units") {
      if (!take_value()) return false;
      if (value != "file" && value != "metres" && value != "meters" && value != "centimetres" &&
          value != "centimeters" && value != "inches") {
        *error = "--units takes metres, centimetres, inches or file, not '" + value + "'";
        return false;
      }
      options->units = value;
    } else if (arg == "--collision-scale") {
      if (!take_value() || !ParseNumberText(arg, value, 0, &options->collision_scale, error))
        return false;
    } else if (arg == "--flag") {
      if (!take_value()) return false;
      const auto& flags = CliFlags();
      const auto found = std::find_if(flags.begin(), flags.end(),
                                      [&](const CliFlag& flag) { return value == flag.name; });
      if (found == flags.end()) {
        *error = "unknown flag '" + value + "' (see --help for the eight names)";
        return false;
      }
      auto& controls = options->flag_controls;
      if (std::find(controls.begin(), controls.end(), found->control_id) == controls.end())
        controls.push_back(found->control_id);
    } else if (arg == "--flat") {
      if (!no_value()) return false;
      options->flat = true;
    } else if (arg == "--fullbright") {
      if (!no_value()) return false;
      options->fullbright = true;
    } else if (arg == "--no-random") {
      if (!no_value()) return false;
      options->no_random = true;
    } else if (arg == "--texture") {
      if (!take_value()) return false;
      if (value.empty()) {
        *error = "--texture needs a file name";
        return false;
      }
      options->texture = value;
    } else if (arg == "--animation") {
      if (!take_value()) return false;
      if (value.empty()) {
        *error = "--animation needs a clip name, an index or 'all'";
        return false;
      }
      options->animation = value;
    } else if (arg == "--skin") {
      if (!take_value()) return false;
      if (value.empty() || value.find_first_of("/\\") != std::string::npos) {
        *error = "--skin needs a skin's name (as in head_NAME.skin), not '" + value + "'";
        return false;
      }
      options->skin = value;
    } else if (arg == "--player") {
      if (!no_value()) return false;
      options->player = true;
    } else if (arg == "--qc") {
      if (!take_value()) return false;
      if (value.empty()) {
        *error = "--qc needs a file name";
        return false;
      }
      options->qc = value;
    } else if (arg == "--fps") {
      int64_t fps = 0;
      if (!take_value() || !ParseWholeNumber(arg, value, 1, &fps, error)) return false;
      options->frames_per_second = static_cast<int>(fps);
    } else if (arg == "--import-memory" || arg == "--import-time") {
      int64_t bound = 0;
      if (!take_value() || !ParseWholeNumber(arg, value, 0, &bound, error)) return false;
      (arg == "--import-memory" ? options->import_memory_mib : options->import_seconds) = bound;
    } else if (arg == "--list") {
      if (!no_value()) return false;
      options->list = true;
    } else if (arg == "-q") {
      if (!no_value()) return false;
      options->quiet = true;
    } else if (arg == "--cancel") {
      if (!no_value()) return false;
      options->cancel = true;
    } else if (arg == "--dialog") {
      if (!no_value()) return false;
      options->dialog = true;
    } else if (arg == "--strict") {
      if (!no_value()) return false;
      options->strict = true;
    } else {
      *error = "unknown option " + arg;
      return false;
    }
  }

  if (options->dialog && options->cancel) {
    *error = "--dialog leaves OK and Cancel to you: give --dialog or --cancel, not both";
    return false;
  }
  if (!options->height.empty() && !options->scale.empty()) {
    *error = "--height sets the scale: give --height or --scale, not both";
    return false;
  }
  if (files.empty()) {
    *error = "no scene file given";
    return false;
  }
  options->scene = files[0];
  if (files.size() >= 2) options->output = files[1];
  if (files.size() > 2) {
    *error = "too many file names: '" + files[2] + "' after the output file";
    return false;
  }
  if (options->output.empty() && !options->list) {
    *error = "no output file given";
    return false;
  }
  if (options->list && !options->qc.empty()) {
    *error = "--qc writes the frame names of an exported model; --list exports nothing";
    return false;
  }
  return true;
}

std::string CliHelpText() {
  return R"(usage: mdlexport [options] SCENE OUTPUT.mdl
       mdlexport --player [options] FOLDER|PART.md3 OUTPUT.mdl
       mdlexport --list [options] SCENE

Converts a scene file (glTF or GLB, FBX, OBJ, Collada, DirectX, SMD, MS3D,
3DS, STL, PLY, 3MF, and in the Linux build the other formats Assimp reads,
and the Quake family: MDL, MD2 and MD3, which our own readers read) into a
Quake MDL model with the Vandrell exporter. The exporter module Vandrell.dlo
is loaded from the folder of this program, or from ../lib/vandrell beside
that folder where the program is installed; the options below are entered
into its options dialog as a user would, and OK is pressed.

Dialog options (not given: the dialog's defaults):
  --base-name TEXT    model base name, the prefix of every frame name
                      (default: the output file name before its first ".";
                      the dialog keeps at most 12 characters)
  --frames N|all      frames to sample, a whole number of at least 1
                      (default 1); "all" samples every frame of the
                      animation range. Never more than the range holds.
  --texture-kb N      largest skin size in KBytes (default 16)
  --scale PCT         model scale in percent (default 100)
  --height N          scale the model to be N Quake units tall (a player
                      is 56) at the first sampled frame, measured along Z
                      after import; the scale is worked out and entered
                      into the scale field, and the summary line says it.
                      Not together with --scale
  --collision-scale PCT
                      collision box scale in percent (default 100)
  --flag NAME         sets an effect flag; may be repeated. NAME is one of
                      rotate, rocket-smoke-trail, grenade-smoke-trail,
                      gib-long-blood-trail, gib-short-blood-trail,
                      wizard-green-tracer, hellknight-yellow-tracer,
                      vore-purple-tracer
  --flat              Gouraud shading off: vertex normals are not smoothed
  --fullbright        the skin may use the palette's fullbright colours
  --no-random         synchronised animation (synctype 0) instead of random
  --cancel            press Cancel instead of OK: nothing is written
  --dialog            (Windows) show the options dialog instead: the
                      options given are entered, then you change what you
                      like and press OK or Cancel yourself

Import options:
  --texture FILE      a diffuse bitmap for materials that have none, or
                      whose own texture is not found or cannot be read (MD2
                      files often name no skin, or one that is not there);
                      used as given, not looked up as below
  --animation NAME|INDEX|all
                      the clip to play: its name, its zero-based index, or
                      "all" for every clip back to back (default: the first;
                      for MDL, MD2 and MD3 files and players, every clip).
                      A name that matches no clip exactly may match one in
                      another case
  --player            SCENE is a Quake III player: its folder, or any of its
                      lower.md3, upper.md3 and head.md3. The three are hung
                      together by their tags (see Quake models below)
  --skin NAME         the skin of MD3 models and players: each model's
                      MODEL_NAME.skin file beside it (head_red.skin) says its
                      surfaces' textures; it must be there. Without it, the
                      MODEL_default.skin files are used where there are any
  --fps N             frames a second of the sampled animation (default 10,
                      Quake's rate); must divide 4800 ticks a second
  --units UNIT        the unit of the file's coordinates: metres,
                      centimetres, inches, or file (default: the file's
                      own; see Units below)
  --import-memory MIB memory the scene import may use (default 4096 MiB)
  --import-time S     seconds the scene import may take (default 120)
                      The import runs first in a child process under these
                      bounds; a crash of the import library, or a file that
                      makes it run away, ends with "cannot read SCENE: ..."
                      and exit status 2. 0 removes a bound.

Other options:
  --list              print the scene's nodes, meshes, materials, textures
                      (each with the file found, or the names tried) and
                      clips with their frame counts, the file's unit and
                      the model's size in Quake units; export nothing
  --qc FILE           also write the written model's QuakeC frame macros to
                      FILE: one "$frame" line per clip, in the order the
                      frames were written, each name the clip's name and the
                      frame's number in the clip from 1 (stand1 stand2 ...;
                      an underscore before the number when the clip's name
                      ends in a digit); the base name's frames when the scene
                      has no clips. For pasting into a monster's .qc
  -q                  no summary line and no progress
  --strict            exit with status 1 when the written model is one that
                      some game engine refuses (the file is still written)
  -h, --help          this text

Textures: a texture the scene names is looked for as games look for one.
For each base folder in turn, first the scene's folder, then each folder
above it up to the root (a Quake model names its skin relative to the
game's root folder), the first hit wins among:
  1. the name as written, relative to the base folder
  2. the same with every folder and the file name in any case
  3. the name without its extension (or with none) and .tga, .jpg, .png,
     .pcx, .bmp added, in that order, in any case
and last the bare file name in the scene's folder, the same three ways. An
absolute name is tried the three ways from its own folder; one of another
machine (C:\..., \\server\... outside Windows) by its bare file name only.
An MD3 model's names are shaders first: one that the game's
scripts/*.shader files define (in the first folder at or above the model
with a scripts folder) stands for the image its first stage names, looked
for the same way. Images are read in PNG, JPEG, TGA, BMP, PCX (8-bit
paletted and 24-bit), GIF, PSD and HDR. A texture that is not found, or
found but cannot be read, gets one warning line naming the file and the
reason; its material is painted in its diffuse colour (or with --texture's
bitmap). --list shows for each texture the file found and its size, or the
names tried.

Numbers are whole and written with the digits 0-9 only; anything else (1.5,
-3, 12px) is a usage error. "--name=value" may be written for "--name value".

Coordinates: the host is right-handed with Z up, and a model faces -Y (the
host's front view). Files that are Y-up (glTF, OBJ, Collada, DirectX, ..., as
Assimp delivers them) are turned with (x, y, z) -> (x, -z, y), so glTF's +Z
front faces -Y. FBX files are turned as their axis settings say (their right
axis to +X, front to -Y, up to +Z). STL and 3MF files are Z-up and are not
turned. Quake-family files (MD2, MD3, MDL) face +X; they are turned a quarter
turn further so that they face -Y too. The exporter turns the host's front -Y
to +X, the way Quake expects, so converting a Quake model keeps its
orientation.

Quake models: MDL, MD2 and MD3 files are read whole, every frame, frames
a tenth of a second apart (at the default --fps 10 each frame of the file
becomes one frame of the model). Their clips are the runs of frames whose
names share the text before their trailing digits (stand1 .. stand9 make
"stand"); --list shows them, and by default every frame is exported in the
file's order. An MDL file brings its own skin: converted with a texture
limit that holds it (--texture-kb at least its width, rounded up to 8,
times its height, in KBytes), every pixel keeps its palette colour, and
its skin vertices their pixels; fullbright pixels need --fullbright.
An MD3 file of a Quake III player part (lower.md3) alone is that part
alone; --player assembles lower, upper and head frame by frame as Quake
III places them (the torso on the legs' tag_torso, the head on the
torso's tag_head), with the clips of the folder's animation.cfg, in lower
case: a both_* clip plays on legs and torso together, a legs_* clip with
the torso standing (torso_stand), a torso_* clip with the legs idle
(legs_idle); the head keeps its first frame. Without animation.cfg the
legs and torso play their frames side by side. Beside an MD3 model,
MODEL_default.skin (or the skin --skin names) lists "surface,texture"
lines that win over the surfaces' own shader names; a surface it leaves
empty has no texture, one it does not list keeps its shader. A lower
level of detail (head_1.md3) wears its full model's skin file. An MD2
file names its skin relative to the game's root
(models/monsters/soldier/skin.pcx), found as Textures says. A damaged
file ends with "cannot read FILE: reason" and exit status 2; bytes after
the last frame are ignored, as the games ignore them.

Units: the host's unit is the inch, and one inch is one Quake unit (a
player is 56 units tall, a person of 1.4 to 1.8 m). Coordinates are
converted from the file's unit: glTF files are in metres; FBX files in the
unit their unit scale setting gives (centimetres when it is absent);
Collada files in the unit of their <unit> element (metres when absent).
MD2, MD3 and MDL files are in Quake units already and keep their exact
size. OBJ, 3DS, STL, PLY, DirectX and the other formats carry no unit:
their numbers are taken as host units unchanged (give --units when they
are metres or centimetres). A 1 m cube in glTF becomes 39.37 units.
--scale then multiplies the converted size.

Output: message boxes of the exporter are printed on standard error as
"Vandrell Exporter: text". While frames are sampled, progress is shown on
standard error when it is a terminal. After a successful export one summary
line goes to standard output: vertices, triangles, frames, skin size and
file size (and, with --height, the scale used). When the written model is
beyond what an engine loads (Quake and QuakeWorld, GLQuake, QuakeSpasm and
FitzQuake, ironwail, vkQuake, DarkPlaces), one warning line per engine says
why; a note says what an engine loads but warns about (ironwail above 2000
vertices or 4096 triangles) and what network protocol 15 cannot show (frames
after the 256th); --strict fails on warnings only. "mdlinfo --check" tells
the same for any MDL file.

Exit status:
  0  the file was written (with --strict: and every engine loads it)
  1  the export failed or had nothing to export (a message was shown), or
     was cancelled; the output file is not written (one already there is
     left as it was, unless a failed write removed it)
  1  with --strict: the file was written, but some engine refuses it
  2  usage error, or the scene file cannot be read
)";
}

}  // namespace tools
