#include "tools/CliOptions.h"

#include <algorithm>
#include <cstdint>

#include "hostapp/import/FormatConventions.h"
#include "hostapp/import/ImportOptions.h"
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

namespace {

using Option = CommandOption<CliOptions>;
using Apply = decltype(Option::apply);

// An option without a value that turns a choice on.
Apply Sets(bool CliOptions::*choice) {
  return [choice](const std::string&, const std::string&, CliOptions* options, std::string*) {
    options->*choice = true;
    return true;
  };
}

// A name or file that cannot be empty; refused with missing.
Apply Names(std::string CliOptions::*name, const char* missing) {
  return [name, missing](const std::string&, const std::string& value, CliOptions* options,
                         std::string* error) {
    if (value.empty()) {
      *error = missing;
      return false;
    }
    options->*name = value;
    return true;
  };
}

// A dialog field's whole number, at least minimum.
Apply Number(std::optional<int32_t> CliOptions::*field, int64_t minimum) {
  return [field, minimum](const std::string& spelling, const std::string& value,
                          CliOptions* options, std::string* error) {
    int64_t number = 0;
    if (!ParseWholeNumber(spelling, value, minimum, &number, error)) return false;
    options->*field = static_cast<int32_t>(number);
    return true;
  };
}

// A bound of the guarded import; 0 for none.
Apply Bound(long CliOptions::*bound) {
  return [bound](const std::string& spelling, const std::string& value, CliOptions* options,
                 std::string* error) {
    int64_t number = 0;
    if (!ParseWholeNumber(spelling, value, 0, &number, error)) return false;
    options->*bound = static_cast<long>(number);
    return true;
  };
}

bool ApplyFrames(const std::string& spelling, const std::string& value, CliOptions* options,
                 std::string* error) {
  if (value == "all") {
    options->all_frames = true;
    options->frames.reset();
    return true;
  }
  int64_t frames = 0;
  if (!ParseWholeNumber(spelling, value, 1, &frames, error)) return false;
  options->frames = static_cast<int32_t>(frames);
  options->all_frames = false;
  return true;
}

bool ApplyUnits(const std::string&, const std::string& value, CliOptions* options,
                std::string* error) {
  if (!hostapp::FindUnitName(value)) {
    *error = "--units takes metres, centimetres, inches or file, not '" + value + "'";
    return false;
  }
  options->units = value;
  return true;
}

bool ApplyUp(const std::string&, const std::string& value, CliOptions* options,
             std::string* error) {
  if (value.empty() || !hostapp::IsUpAxisName(value)) {
    *error = "--up takes x, y, z, -x, -y or -z, not '" + value + "'";
    return false;
  }
  options->up = value;
  return true;
}

bool ApplyTurn(const std::string&, const std::string& value, CliOptions* options,
               std::string* error) {
  for (int degrees : {0, 90, 180, 270}) {
    if (value == std::to_string(degrees)) {
      options->turn = degrees;
      return true;
    }
  }
  *error = "--turn takes 90, 180 or 270 (degrees), not '" + value + "'";
  return false;
}

bool ApplyFlag(const std::string&, const std::string& value, CliOptions* options,
               std::string* error) {
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
  return true;
}

bool ApplySkin(const std::string&, const std::string& value, CliOptions* options,
               std::string* error) {
  if (value.empty() || value.find_first_of("/\\") != std::string::npos) {
    *error = "--skin needs a skin's name (as in head_NAME.skin), not '" + value + "'";
    return false;
  }
  options->skin = value;
  return true;
}

bool ApplyFps(const std::string& spelling, const std::string& value, CliOptions* options,
              std::string* error) {
  int64_t fps = 0;
  if (!ParseWholeNumber(spelling, value, 1, &fps, error)) return false;
  options->frames_per_second = static_cast<int>(fps);
  return true;
}

bool ApplyBaseName(const std::string&, const std::string& value, CliOptions* options,
                   std::string*) {
  options->base_name = value;
  options->base_name_given = true;
  return true;
}

std::string FlagNames() {
  std::string names;
  for (const CliFlag& flag : CliFlags())
    names += (names.empty() ? "" : ", ") + std::string(flag.name);
  return names;
}

}  // namespace

const OptionTable<CliOptions>& CliOptionTable() {
  static const OptionTable<CliOptions> table = {
      {"Dialog options (not given: the dialog's defaults):",
       {
           {"--base-name", nullptr, "TEXT",
            "model base name, the prefix of every frame name (default: the output file name "
            "before its first \".\"; the dialog keeps at most 12 characters)",
            ApplyBaseName},
           {"--frames", nullptr, "N|all",
            "frames to sample, a whole number of at least 1 (default 1); \"all\" samples every "
            "frame of the animation range. Never more than the range holds.",
            ApplyFrames},
           {"--texture-kb", nullptr, "N", "largest skin size in KBytes (default 16)",
            Number(&CliOptions::texture_kb, 0)},
           {"--scale", nullptr, "PCT", "model scale in percent (default 100)",
            Number(&CliOptions::scale, 0)},
           {"--height", nullptr, "N",
            "scale the model to be N Quake units tall (a player is 56) at the first sampled "
            "frame, measured along Z after import; the scale is worked out and entered into "
            "the scale field, and the summary line says it. Not together with --scale",
            Number(&CliOptions::height, 1)},
           {"--collision-scale", nullptr, "PCT", "collision box scale in percent (default 100)",
            Number(&CliOptions::collision_scale, 0)},
           {"--flag", nullptr, "NAME",
            "sets an effect flag; may be repeated. NAME is one of " + FlagNames(), ApplyFlag},
           {"--flat", nullptr, nullptr, "Gouraud shading off: vertex normals are not smoothed",
            Sets(&CliOptions::flat)},
           {"--fullbright", nullptr, nullptr, "the skin may use the palette's fullbright colours",
            Sets(&CliOptions::fullbright)},
           {"--no-random", nullptr, nullptr,
            "synchronised animation (synctype 0) instead of random", Sets(&CliOptions::no_random)},
           {"--cancel", nullptr, nullptr, "press Cancel instead of OK: nothing is written",
            Sets(&CliOptions::cancel)},
           {"--dialog", nullptr, nullptr,
            "(Windows) show the options dialog instead: the options given are entered, then "
            "you change what you like and press OK or Cancel yourself",
            Sets(&CliOptions::dialog)},
       }},
      {"Import options:",
       {
           {"--texture", nullptr, "FILE",
            "a diffuse bitmap for materials that have none, or whose own texture is not found "
            "or cannot be read (MD2 files often name no skin, or one that is not there); used "
            "as given, not looked up as below",
            Names(&CliOptions::texture, "--texture needs a file name")},
           {"--animation", nullptr, "NAME|INDEX|all",
            "the clip to play: its name, its zero-based index, or \"all\" for every clip back "
            "to back (default: the first; for MDL, MD2 and MD3 files and players, every clip). "
            "A name that matches no clip exactly may match one in another case",
            Names(&CliOptions::animation, "--animation needs a clip name, an index or 'all'")},
           {"--player", nullptr, nullptr,
            "SCENE is a Quake III player: its folder, or any of its lower.md3, upper.md3 and "
            "head.md3. The three are hung together by their tags (see Quake models below)",
            Sets(&CliOptions::player)},
           {"--skin", nullptr, "NAME",
            "the skin of MD3 models and players: each model's MODEL_NAME.skin file beside it "
            "(head_red.skin) says its surfaces' textures; it must be there. Without it, the "
            "MODEL_default.skin files are used where there are any",
            ApplySkin},
           {"--fps", nullptr, "N",
            "frames a second of the sampled animation (default 10, Quake's rate); must divide "
            "4800 ticks a second",
            ApplyFps},
           {"--units", nullptr, "UNIT",
            "the unit of the file's coordinates: metres, centimetres, inches, or file "
            "(default: the file's own; see Units below)",
            ApplyUnits},
           {"--up", nullptr, "AXIS",
            "the file's up axis, for a file that states nothing useful: x, y, z, -x, -y or -z "
            "(default: its format's; see Coordinates below); its front then follows the table",
            ApplyUp},
           {"--turn", nullptr, "DEGREES",
            "turn the model 90, 180 or 270 degrees counter-clockwise seen from above, after "
            "--up and before --height and --scale",
            ApplyTurn},
           {"--import-memory", nullptr, "MIB", "memory the scene import may use (default 4096 MiB)",
            Bound(&CliOptions::import_memory_mib)},
           {"--import-time", nullptr, "S",
            "seconds the scene import may take (default 120)\n"
            "The import runs first in a child process under these bounds; a crash of the "
            "import library, or a file that makes it run away, ends with \"cannot read SCENE: "
            "...\" and exit status 2. 0 removes a bound.",
            Bound(&CliOptions::import_seconds)},
       }},
      {"Other options:",
       {
           {"--list", nullptr, nullptr,
            "print the scene's nodes, meshes, materials, textures (each with the file found, "
            "or the names tried) and clips with their frame counts, the file's unit and the "
            "model's size in Quake units; export nothing",
            Sets(&CliOptions::list)},
           {"--qc", nullptr, "FILE",
            "also write the written model's QuakeC frame macros to FILE: one \"$frame\" line "
            "per clip, in the order the frames were written, each name the clip's name and the "
            "frame's number in the clip from 1 (stand1 stand2 ...; an underscore before the "
            "number when the clip's name ends in a digit); the base name's frames when the "
            "scene has no clips. For pasting into a monster's .qc",
            Names(&CliOptions::qc, "--qc needs a file name")},
           {"-q", nullptr, nullptr, "no summary line and no progress", Sets(&CliOptions::quiet)},
           {"--strict", nullptr, nullptr,
            "exit with status 1 when the written model is one that some game engine refuses "
            "(the file is still written)",
            Sets(&CliOptions::strict)},
           {"--help", "-h", nullptr, "this text", Sets(&CliOptions::help)},
           {"--version", nullptr, nullptr,
            "print the package's version and the version the exporter module reports (its "
            "exporter's number for the host, with two decimals), and exit",
            Sets(&CliOptions::version)},
       }},
  };
  return table;
}

bool ParseCliOptions(int argc, const char* const* argv, CliOptions* options, std::string* error) {
  ParseRules rules;
  rules.inline_values = true;
  std::vector<std::string> files;
  if (!ParseCommandLine<CliOptions>(
          CliOptionTable(), rules, argc, argv, options,
          [](const CliOptions& given) { return given.help || given.version; }, &files, error))
    return false;
  if (options->help || options->version) return true;

  if (options->dialog && options->cancel) {
    *error = "--dialog leaves OK and Cancel to you: give --dialog or --cancel, not both";
    return false;
  }
  if (options->height && options->scale) {
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

namespace {

// The table of format conventions, two spaces in, for --help.
std::string ConventionTableText() {
  std::string text;
  for (const std::string& line : hostapp::FormatConventionLines()) text += "  " + line + "\n";
  return text;
}

}  // namespace

std::string CliHelpText() {
  // The option list sits between what the command does and the conventions
  // it follows, which no single option owns.
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

)" + OptionListText(CliOptionTable(), 22, 76) +
         R"(
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

Coordinates: every model reaches the MDL upright and facing Quake's front
(+X). Where a file states its axes (glTF, FBX's axis settings, Collada's up
axis) the file wins; otherwise its format's convention does, from this table
("front" is the way the format's models face, in the file's own axes):

)" + ConventionTableText() +
         R"(
A left-handed format comes out as the model, not its mirror image; a
Quake-family model keeps its orientation. --up names the up axis of a file
that states nothing useful (its front stays unless it lies along the new up,
when it becomes the table's up turned away), and --turn turns the model
after it. --list says which axes were used.

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
