#include "tools/MdlinfoOptions.h"

#include <cstdlib>

#include "examine/MdlToGltf.h"

namespace tools {
namespace {

using Option = CommandOption<MdlinfoOptions>;
using Apply = decltype(Option::apply);

// An option without a value that turns a choice on.
Apply Sets(bool MdlinfoOptions::*choice) {
  return [choice](const std::string&, const std::string&, MdlinfoOptions* options, std::string*) {
    options->*choice = true;
    return true;
  };
}

// A file to write.
Apply Names(std::string MdlinfoOptions::*file) {
  return
      [file](const std::string&, const std::string& value, MdlinfoOptions* options, std::string*) {
        options->*file = value;
        return true;
      };
}

bool ApplyFrame(const std::string&, const std::string& number, MdlinfoOptions* options,
                std::string* error) {
  if (number.empty() || number.size() > 9 ||
      number.find_first_not_of("0123456789") != std::string::npos) {
    *error = "--frame takes a frame number from 0, not \"" + number + "\"";
    return false;
  }
  options->frame = std::strtol(number.c_str(), nullptr, 10);
  options->frame_given = true;
  return true;
}

// "640x480", each side 1 .. kMaxPictureSide.
bool ParseSize(const std::string& text, int* width, int* height) {
  const size_t x = text.find('x');
  if (x == std::string::npos || x == 0 || x + 1 >= text.size()) return false;
  const std::string parts[2] = {text.substr(0, x), text.substr(x + 1)};
  long values[2];
  for (int i = 0; i < 2; ++i) {
    if (parts[i].size() > 4 || parts[i].find_first_not_of("0123456789") != std::string::npos)
      return false;
    values[i] = std::strtol(parts[i].c_str(), nullptr, 10);
    if (values[i] < 1 || values[i] > kMaxPictureSide) return false;
  }
  *width = static_cast<int>(values[0]);
  *height = static_cast<int>(values[1]);
  return true;
}

bool ApplySize(const std::string&, const std::string& text, MdlinfoOptions* options,
               std::string* error) {
  if (ParseSize(text, &options->width, &options->height)) return true;
  *error = "--size takes WIDTHxHEIGHT, each 1 to " + std::to_string(kMaxPictureSide) + ", not \"" +
           text + "\"";
  return false;
}

bool ApplyGltf(const std::string&, const std::string& file, MdlinfoOptions* options,
               std::string* error) {
  if (!vandrell::IsGltfFileName(file)) {
    *error = "--gltf writes FILE.glb or FILE.gltf, not \"" + file + "\"";
    return false;
  }
  options->gltf = file;
  return true;
}

// Which options go together; false with the reason.
bool OptionsAgree(const MdlinfoOptions& options, std::string* error) {
  if (options.check) {
    if (options.frames || !options.skin_png.empty() || !options.preview.empty() ||
        !options.gltf.empty()) {
      *error = "--check and --json only check; draw or list separately";
      return false;
    }
    return true;
  }
  if (options.inputs.size() > 1) {
    *error = "more than one input file (only --check takes several)";
    return false;
  }
  if (options.preview.empty() && (options.frame_given || options.sheet || options.width)) {
    *error = "--frame, --sheet and --size go with --preview";
    return false;
  }
  if (options.quake_units && options.gltf.empty()) {
    *error = "--quake-units goes with --gltf";
    return false;
  }
  if (options.frame_given && options.sheet) {
    *error = "--frame and --sheet exclude each other";
    return false;
  }
  return true;
}

}  // namespace

const OptionTable<MdlinfoOptions>& MdlinfoOptionTable() {
  static const OptionTable<MdlinfoOptions> table = {
      {nullptr,
       {
           {"--frames", nullptr, nullptr,
            "also print every vertex of every frame, decoded, with its normal index",
            Sets(&MdlinfoOptions::frames)},
           {"--skin-png", nullptr, "FILE", "write the first skin image through the Quake palette",
            Names(&MdlinfoOptions::skin_png), "a file name"},
           {"--preview", nullptr, "FILE",
            "draw the model: skin-textured, lit from its normals, seen from the front left and "
            "a little above",
            Names(&MdlinfoOptions::preview), "a file name"},
           {"--frame", nullptr, "N", "the frame to draw, counting from 0 (default 0)", ApplyFrame,
            "a frame number"},
           {"--sheet", nullptr, nullptr,
            "draw up to " + std::to_string(kSheetFrames) +
                " evenly spaced frames side by side, first and last included, each with its "
                "number and name",
            Sets(&MdlinfoOptions::sheet)},
           {"--size", nullptr, "WxH",
            "the picture's size in pixels (default 640x480, and 1024x768 with --sheet)", ApplySize,
            "a size such as 640x480"},
           {"--gltf", nullptr, "FILE",
            "write the model as glTF 2.0, for modelling applications: FILE.glb one binary "
            "file, FILE.gltf text with FILE.bin beside it. One mesh (seam vertices of "
            "back-facing triangles half a skin further right, as games draw them), every frame "
            "a morph target named after it, one animation per clip (runs of frame names such "
            "as stand1 .. stand9, ten frames a second; a frame group with its own intervals), "
            "the first skin as texture (fullbright pixels also as emissive texture), other skin "
            "pictures as extra images. Quake's z up becomes glTF's y up, the model's front (+x) "
            "glTF's front (+z); sizes in metres, one unit an inch, as mdlexport reads them back",
            ApplyGltf, "a file name"},
           {"--quake-units", nullptr, nullptr, "with --gltf: sizes in Quake units, not metres",
            Sets(&MdlinfoOptions::quake_units)},
       }},
      {nullptr,
       {
           {"--check", nullptr, nullptr,
            "check each file and print one line per finding, FILE: error|warning|note: what "
            "(engine), or FILE: ok. Format: magic and version, counts, triangle indices, skin "
            "coordinates, normal indices, seam flags, group intervals, a file too short (bytes "
            "after the last frame, which games ignore, are a warning). Engines: the limits of "
            "Quake and QuakeWorld, GLQuake, QuakeSpasm and FitzQuake, ironwail, vkQuake and "
            "DarkPlaces; a model some engine refuses gets a warning naming it, one that no "
            "engine loads an error. What an engine loads but warns about (ironwail: above 2000 "
            "vertices or 4096 triangles), and frames past the 256 that network protocol 15 "
            "shows, are notes: FILE: note: loads, but ...",
            Sets(&MdlinfoOptions::check)},
           {"--json", nullptr, nullptr,
            "with --check (or alone): one JSON object a line per file, with the header, the "
            "counts, each engine's verdict (refusals as problems, notes as cautions) and the "
            "findings",
            Sets(&MdlinfoOptions::json)},
           {"--help", "-h", nullptr, "this text", Sets(&MdlinfoOptions::help)},
           {"--version", nullptr, nullptr, "print the package's version and exit",
            Sets(&MdlinfoOptions::version)},
       }},
  };
  return table;
}

bool ParseMdlinfoOptions(int argc, const char* const* argv, MdlinfoOptions* options,
                         std::string* error) {
  if (!ParseCommandLine<MdlinfoOptions>(
          MdlinfoOptionTable(), ParseRules(), argc, argv, options,
          [](const MdlinfoOptions& given) { return given.help || given.version; }, &options->inputs,
          error))
    return false;
  if (options->help || options->version) return true;
  if (options->json) options->check = true;
  if (options->inputs.empty()) {
    *error = "no input file";
    return false;
  }
  return OptionsAgree(*options, error);
}

std::string MdlinfoHelpText() {
  return "usage: mdlinfo FILE.mdl [--frames] [--skin-png OUT.png]\n"
         "               [--preview OUT.png [--frame N | --sheet] [--size WxH]]\n"
         "               [--gltf OUT.glb|OUT.gltf [--quake-units]]\n"
         "       mdlinfo --check [--json] FILE.mdl...\n"
         "\n"
         "Reads FILE.mdl, a Quake MDL model (version 6), and prints its header, its\n"
         "counts, its skin size and each frame's name and box, in packed bytes and\n"
         "decoded (scale_origin + packed x scale), then what --check would say.\n"
         "\n" +
         OptionListText(MdlinfoOptionTable(), 20, 76) +
         "\n"
         "Exit status: 0 a well-formed file (with --check: no error in any file),\n"
         "1 a file with errors or a picture or glTF file that could not be written,\n"
         "2 usage error.\n";
}

}  // namespace tools
