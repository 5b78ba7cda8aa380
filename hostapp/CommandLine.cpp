#include "hostapp/CommandLine.h"

#include <cstdint>
#include <cstring>

#include "hostapp/Timeline.h"
#include "resources/resource.h"

namespace hostapp {

namespace {

struct FlagName {
  const char* name;
  int control;
};

// The model flags by the names the command takes, in the dialog's order.
constexpr FlagName kFlags[] = {
    {"rotate", IDC_ROTATE},
    {"rocket-smoke-trail", IDC_ROCKET_SMOKE_TRAIL},
    {"grenade-smoke-trail", IDC_GRENADE_SMOKE_TRAIL},
    {"gib-long-blood-trail", IDC_GIB_LONG_BLOOD_TRAIL},
    {"gib-short-blood-trail", IDC_GIB_SHORT_BLOOD_TRAIL},
    {"wizard-green-tracer", IDC_WIZARD_GREEN_TRACER},
    {"hellknight-yellow-tracer", IDC_HELLKNIGHT_YELLOW_TRACER},
    {"vore-purple-tracer", IDC_VORE_PURPLE_TRACER},
};

// A whole number of at most 31 bits, written in decimal digits only.
bool IsWholeNumber(const std::string& text) {
  if (text.empty() || text.size() > 10) return false;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return value <= INT32_MAX;
}

}  // namespace

bool ParseCommandLine(int argc, const char* const* argv, MdlExportOptions* options,
                      std::string* error) {
  *options = MdlExportOptions();
  std::vector<std::string> files;
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (options_end || argument.empty() || argument[0] != '-' || argument == "-") {
      files.push_back(argument);
      continue;
    }
    if (argument == "--") {
      options_end = true;
      continue;
    }
    // "--name=value" and "--name value" are the same.
    std::string value;
    bool inline_value = false;
    const size_t equals = argument.find('=');
    if (argument.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      value = argument.substr(equals + 1);
      argument.resize(equals);
      inline_value = true;
    }
    auto take_value = [&](std::string* out) {
      if (inline_value) {
        *out = value;
        return true;
      }
      if (i + 1 >= argc) {
        *error = "option " + argument + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    auto take_number = [&](std::string* out) {
      if (!take_value(out)) return false;
      if (!IsWholeNumber(*out)) {
        *error = "option " + argument + " takes a whole number of 0 or more, not \"" + *out + "\"";
        return false;
      }
      return true;
    };
    auto no_value = [&]() {
      if (!inline_value) return true;
      *error = "option " + argument + " takes no value";
      return false;
    };

    if (argument == "--help" || argument == "-h") {
      if (!no_value()) return false;
      options->help = true;
    } else if (argument == "--base-name") {
      if (!take_value(&options->base_name)) return false;
      options->has_base_name = true;
    } else if (argument == "--frames") {
      if (!take_value(&options->frames)) return false;
      if (options->frames != "all" && !IsWholeNumber(options->frames)) {
        *error = "option --frames takes a whole number or \"all\", not \"" + options->frames + "\"";
        return false;
      }
    } else if (argument == "--texture-kb") {
      if (!take_number(&options->texture_kb)) return false;
    } else if (argument == "--scale") {
      if (!take_number(&options->scale)) return false;
    } else if (argument == "--collision-scale") {
      if (!take_number(&options->collision_scale)) return false;
    } else if (argument == "--flag") {
      std::string name;
      if (!take_value(&name)) return false;
      int control = 0;
      for (const FlagName& flag : kFlags) {
        if (name == flag.name) control = flag.control;
      }
      if (control == 0) {
        *error = "unknown flag \"" + name + "\"; the flags are";
        for (const FlagName& flag : kFlags) *error += std::string(" ") + flag.name;
        return false;
      }
      options->flag_controls.push_back(control);
    } else if (argument == "--flat") {
      if (!no_value()) return false;
      options->flat = true;
    } else if (argument == "--fullbright") {
      if (!no_value()) return false;
      options->fullbright = true;
    } else if (argument == "--no-random") {
      if (!no_value()) return false;
      options->no_random = true;
    } else if (argument == "--texture") {
      if (!take_value(&options->texture)) return false;
    } else if (argument == "--animation") {
      if (!take_value(&options->animation)) return false;
      if (options->animation.empty()) {
        *error = "option --animation needs a name, an index or \"all\"";
        return false;
      }
    } else if (argument == "--fps") {
      std::string rate;
      if (!take_number(&rate)) return false;
      options->frames_per_second = static_cast<int>(std::stol(rate));
      int ticks = 0;
      std::string reason;
      if (!TicksPerFrameForRate(options->frames_per_second, &ticks, &reason)) {
        *error = "option --fps: " + reason;
        return false;
      }
    } else if (argument == "--list") {
      if (!no_value()) return false;
      options->list = true;
    } else if (argument == "-q" || argument == "--quiet") {
      if (!no_value()) return false;
      options->quiet = true;
    } else if (argument == "--cancel") {
      if (!no_value()) return false;
      options->cancel = true;
    } else {
      *error = "unknown option " + argument;
      return false;
    }
  }

  if (options->help) return true;
  if (options->list) {
    // The output name may stay on the line; --list writes nothing.
    if (files.empty() || files.size() > 2) {
      *error = "--list needs one scene file";
      return false;
    }
  } else if (files.size() != 2) {
    *error = files.size() < 2 ? "a scene file and an output file are needed"
                              : "too many file names: give one scene file and one output file";
    return false;
  }
  options->scene = files[0];
  if (files.size() > 1) options->output = files[1];
  return true;
}

std::vector<win32::DialogAction> DialogScript(const MdlExportOptions& options, int frames_for_all) {
  using win32::DialogAction;
  std::vector<DialogAction> script;
  // As a user does: empty the field, then type the new text key by key.
  auto enter = [&script](int control, const std::string& text) {
    script.push_back(DialogAction::Paste(control, ""));
    script.push_back(DialogAction::Type(control, text));
  };
  if (options.has_base_name) enter(IDC_BASE_NAME, options.base_name);
  if (options.frames == "all") {
    enter(IDC_FRAMES, std::to_string(frames_for_all));
  } else if (!options.frames.empty()) {
    enter(IDC_FRAMES, options.frames);
  }
  if (!options.texture_kb.empty()) enter(IDC_TEXTURE_LIMIT, options.texture_kb);
  if (!options.collision_scale.empty()) enter(IDC_SCALE_COLLISION_BOX, options.collision_scale);
  if (!options.scale.empty()) enter(IDC_SCALE_MODEL, options.scale);
  for (int control : options.flag_controls) script.push_back(DialogAction::Check(control, true));
  if (options.flat) script.push_back(DialogAction::Check(IDC_GOURAUD_SHADING, false));
  if (options.fullbright) script.push_back(DialogAction::Check(IDC_FULLBRIGHT_COLORS, true));
  if (options.no_random) script.push_back(DialogAction::Check(IDC_RANDOM, false));
  script.push_back(DialogAction::Press(options.cancel ? IDCANCEL : IDOK));
  return script;
}

std::string HelpText() {
  return R"(Usage: mdlexport [options] SCENE OUTPUT.mdl
       mdlexport --list SCENE

Converts a scene file (glTF, GLB, FBX, OBJ, Collada, DirectX, MD2, MD3, MDL,
SMD, MS3D and every other format the Open Asset Import Library reads) into a
Quake MDL model, version 6, with the Vandrell exporter. The options are
entered into the exporter's options dialog as a user would enter them; an
option not given leaves the dialog's default.

Options of the dialog:
  --base-name TEXT      model base name, the prefix of every frame name; the
                        dialog keeps at most 12 characters (default: the
                        output file name before its first ".")
  --frames N|all        number of frames to sample from the start of the
                        animation; "all" samples every frame of it (default 1)
  --texture-kb N        largest skin size in kilobytes (default 16)
  --scale PCT           model scale in percent (default 100)
  --collision-scale PCT bounding-box scale in percent (default 100)
  --flag NAME           set a model flag; repeatable. NAME is one of rotate,
                        rocket-smoke-trail, grenade-smoke-trail,
                        gib-long-blood-trail, gib-short-blood-trail,
                        wizard-green-tracer, hellknight-yellow-tracer,
                        vore-purple-tracer
  --flat                Gouraud shading off (flat normals)
  --fullbright          let the skin use the palette's fullbright colours
  --no-random           synchronised animation (synctype 0) instead of random
  --cancel              press Cancel instead of OK (exports nothing)

Options of the scene:
  --texture FILE        diffuse bitmap for every material without a usable
                        one of its own (none named, or its file is missing);
                        MD2 files often name no skin
  --animation NAME|INDEX|all
                        which animation to export (default the first); "all"
                        puts every animation back to back, each starting on
                        the frame after the previous one ends. Quake-family
                        files offer their vertex keyframes as "keyframes",
                        0.1 seconds apart
  --fps N               frames per second of the timeline (default 10, Quake's
                        rate); must divide 4800, the host's ticks a second
  --list                print the nodes, meshes, materials, textures and
                        animations (with their frame counts) and export nothing

Other:
  -q, --quiet           no summary line and no progress
  -h, --help            this text

Numbers are whole numbers written in digits; anything else is refused.
Message boxes of the exporter are printed to standard error as
"Vandrell Exporter: text". While frames are sampled, progress is shown on
standard error when it is a terminal. After an export, one line sums up the
file: vertices, triangles, frames, skin size and file size.

Coordinates: the exporter's host is right-handed with Z up, and a model faces
-Y. Y-up files (glTF, OBJ, Collada, DirectX, 3DS and most others, as the
import library delivers them) are turned by (x, y, z) -> (x, -z, y), so a glTF
model's front (+Z) faces -Y. FBX files are turned as their axis settings say;
STL and 3MF files are taken as Z-up. Quake-family files (MD2, MD3, MDL) face
+X and are turned to face -Y like the rest. The exporter turns -Y to +X, the
way Quake models face, so a converted Quake model keeps its orientation.
Units are kept as they are: use --scale to resize.

Exit status: 0 when the file was written; 1 when the export showed a failure,
had nothing to export or was cancelled; 2 for usage errors and scenes that
cannot be read.
)";
}

}  // namespace hostapp
