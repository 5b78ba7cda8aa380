// mdlinfo: reads a Quake MDL file, checks it and prints what it holds; checks
// files against the format and the engines' limits; draws the skin and the
// model as PNG pictures. See PrintUsage() for the options and exit statuses.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "examine/CheckJson.h"
#include "examine/MdlCheck.h"
#include "examine/MdlToGltf.h"
#include "examine/ModelPicture.h"
#include "examine/PngFile.h"
#include "mdlformat/MdlFormat.h"
#include "mdlformat/MdlReader.h"

namespace {

constexpr int kExitValid = 0;
constexpr int kExitInvalid = 1;
constexpr int kExitUsage = 2;

constexpr int kSheetFrames = 16;
constexpr int kMaxPictureSide = 4096;

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "usage: mdlinfo FILE.mdl [--frames] [--skin-png OUT.png]\n"
               "               [--preview OUT.png [--frame N | --sheet] [--size WxH]]\n"
               "               [--gltf OUT.glb|OUT.gltf [--quake-units]]\n"
               "       mdlinfo --check [--json] FILE.mdl...\n"
               "\n"
               "Reads FILE.mdl, a Quake MDL model (version 6), and prints its header, its\n"
               "counts, its skin size and each frame's name and box, in packed bytes and\n"
               "decoded (scale_origin + packed x scale), then what --check would say.\n"
               "\n"
               "  --frames          also print every vertex of every frame, decoded,\n"
               "                    with its normal index\n"
               "  --skin-png FILE   write the first skin image through the Quake palette\n"
               "  --preview FILE    draw the model: skin-textured, lit from its normals,\n"
               "                    seen from the front left and a little above\n"
               "  --frame N         the frame to draw, counting from 0 (default 0)\n"
               "  --sheet           draw up to %d evenly spaced frames side by side,\n"
               "                    first and last included, each with its number and name\n"
               "  --size WxH        the picture's size in pixels (default 640x480, and\n"
               "                    1024x768 with --sheet)\n"
               "  --gltf FILE       write the model as glTF 2.0, for modelling applications:\n"
               "                    FILE.glb one binary file, FILE.gltf text with FILE.bin\n"
               "                    beside it. One mesh (seam vertices of back-facing\n"
               "                    triangles half a skin further right, as games draw\n"
               "                    them), every frame a morph target named after it,\n"
               "                    one animation per clip (runs of frame names such as\n"
               "                    stand1 .. stand9, ten frames a second; a frame group\n"
               "                    with its own intervals), the first skin as texture\n"
               "                    (fullbright pixels also as emissive texture), other\n"
               "                    skin pictures as extra images. Quake's z up becomes\n"
               "                    glTF's y up, the model's front (+x) glTF's front\n"
               "                    (+z); sizes in metres, one unit an inch, as mdlexport\n"
               "                    reads them back\n"
               "  --quake-units     with --gltf: sizes in Quake units, not metres\n"
               "\n"
               "  --check           check each file and print one line per finding,\n"
               "                    FILE: error|warning: what (engine), or FILE: ok.\n"
               "                    Format: magic and version, counts, triangle indices,\n"
               "                    skin coordinates, normal indices, seam flags, group\n"
               "                    intervals, a file too short (bytes after the last\n"
               "                    frame, which games ignore, are a warning). Engines:\n"
               "                    the limits of Quake and QuakeWorld, GLQuake,\n"
               "                    QuakeSpasm and FitzQuake, ironwail, vkQuake and\n"
               "                    DarkPlaces; a model some engine refuses gets a\n"
               "                    warning naming it, one that no engine loads an\n"
               "                    error. What an engine loads but warns about\n"
               "                    (ironwail: above 2000 vertices or 4096 triangles),\n"
               "                    and frames past the 256 that network protocol 15\n"
               "                    shows, are notes: FILE: note: loads, but ...\n"
               "  --json            with --check (or alone): one JSON object a line per\n"
               "                    file, with the header, the counts, each engine's verdict\n"
               "                    and the findings\n"
               "\n"
               "Exit status: 0 a well-formed file (with --check: no error in any file),\n"
               "1 a file with errors or a picture or glTF file that could not be written,\n"
               "2 usage error.\n",
               kSheetFrames);
}

struct Options {
  std::vector<std::string> inputs;
  bool frames = false;
  bool check = false;
  bool json = false;
  std::string skin_png;
  std::string preview;
  std::string gltf;
  bool quake_units = false;
  bool frame_given = false;
  long frame = 0;
  bool sheet = false;
  int width = 0, height = 0;  // 0: the default
};

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

// False on a usage error, after saying why.
bool ParseOptions(int argc, char** argv, Options* options, bool* help) {
  auto value = [&](int* i, const char* what) -> const char* {
    if (*i + 1 >= argc) {
      std::fprintf(stderr, "mdlinfo: %s needs %s\n", argv[*i], what);
      return nullptr;
    }
    return argv[++*i];
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      *help = true;
      return true;
    }
    const char* text = nullptr;
    if (arg == "--frames") {
      options->frames = true;
    } else if (arg == "--check") {
      options->check = true;
    } else if (arg == "--json") {
      options->json = true;
    } else if (arg == "--sheet") {
      options->sheet = true;
    } else if (arg == "--skin-png") {
      if (!(text = value(&i, "a file name"))) return false;
      options->skin_png = text;
    } else if (arg == "--gltf") {
      if (!(text = value(&i, "a file name"))) return false;
      if (!vandrell::IsGltfFileName(text)) {
        std::fprintf(stderr, "mdlinfo: --gltf writes FILE.glb or FILE.gltf, not \"%s\"\n", text);
        return false;
      }
      options->gltf = text;
    } else if (arg == "--quake-units") {
      options->quake_units = true;
    } else if (arg == "--preview") {
      if (!(text = value(&i, "a file name"))) return false;
      options->preview = text;
    } else if (arg == "--frame") {
      if (!(text = value(&i, "a frame number"))) return false;
      const std::string number = text;
      if (number.empty() || number.size() > 9 ||
          number.find_first_not_of("0123456789") != std::string::npos) {
        std::fprintf(stderr, "mdlinfo: --frame takes a frame number from 0, not \"%s\"\n", text);
        return false;
      }
      options->frame = std::strtol(text, nullptr, 10);
      options->frame_given = true;
    } else if (arg == "--size") {
      if (!(text = value(&i, "a size such as 640x480"))) return false;
      if (!ParseSize(text, &options->width, &options->height)) {
        std::fprintf(stderr, "mdlinfo: --size takes WIDTHxHEIGHT, each 1 to %d, not \"%s\"\n",
                     kMaxPictureSide, text);
        return false;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "mdlinfo: unknown option %s\n", arg.c_str());
      return false;
    } else {
      options->inputs.push_back(arg);
    }
  }
  if (options->json) options->check = true;
  if (options->inputs.empty()) {
    std::fprintf(stderr, "mdlinfo: no input file\n");
    return false;
  }
  if (options->check) {
    if (options->frames || !options->skin_png.empty() || !options->preview.empty() ||
        !options->gltf.empty()) {
      std::fprintf(stderr, "mdlinfo: --check and --json only check; draw or list separately\n");
      return false;
    }
    return true;
  }
  if (options->inputs.size() > 1) {
    std::fprintf(stderr, "mdlinfo: more than one input file (only --check takes several)\n");
    return false;
  }
  if (options->preview.empty() && (options->frame_given || options->sheet || options->width)) {
    std::fprintf(stderr, "mdlinfo: --frame, --sheet and --size go with --preview\n");
    return false;
  }
  if (options->quake_units && options->gltf.empty()) {
    std::fprintf(stderr, "mdlinfo: --quake-units goes with --gltf\n");
    return false;
  }
  if (options->frame_given && options->sheet) {
    std::fprintf(stderr, "mdlinfo: --frame and --sheet exclude each other\n");
    return false;
  }
  return true;
}

// The effect bits by the options dialog's names for them.
struct FlagName {
  int32_t bit;
  const char* name;
};
constexpr FlagName kFlagNames[] = {
    {vandrell::mdl_format::kFlagRocketSmokeTrail, "rocket smoke trail"},
    {vandrell::mdl_format::kFlagGrenadeSmokeTrail, "grenade smoke trail"},
    {vandrell::mdl_format::kFlagGibLongBloodTrail, "gib long blood trail"},
    {vandrell::mdl_format::kFlagRotate, "rotate"},
    {vandrell::mdl_format::kFlagWizardGreenTracer, "wizard green tracer"},
    {vandrell::mdl_format::kFlagGibShortBloodTrail, "gib short blood trail"},
    {vandrell::mdl_format::kFlagHellknightYellowTracer, "hellknight yellow tracer"},
    {vandrell::mdl_format::kFlagVorePurpleTracer, "vore purple tracer"},
};

// The names of the set bits from the lowest up; bits without a name by value.
std::string FlagText(int32_t flags) {
  std::string text;
  for (int bit = 0; bit < 32; ++bit) {
    const uint32_t value = 1u << bit;
    if ((static_cast<uint32_t>(flags) & value) == 0) continue;
    const char* name = nullptr;
    for (const FlagName& flag : kFlagNames) {
      if (static_cast<uint32_t>(flag.bit) == value) name = flag.name;
    }
    if (!text.empty()) text += ", ";
    text += name ? name : "unknown bit " + std::to_string(value);
  }
  return text.empty() ? "none" : text;
}

void PrintVector(const char* label, const float (&v)[3]) {
  std::printf("%-16s %.9g %.9g %.9g\n", label, v[0], v[1], v[2]);
}

void PrintDecoded(const vandrell::MdlFileHeader& h, const vandrell::MdlPackedVertex& p) {
  std::printf("(%.9g, %.9g, %.9g)", vandrell::DecodeCoordinate(h, 0, p.x),
              vandrell::DecodeCoordinate(h, 1, p.y), vandrell::DecodeCoordinate(h, 2, p.z));
}

void PrintModel(const vandrell::MdlFile& file, bool with_vertices) {
  const vandrell::MdlFileHeader& h = file.header;
  std::printf("%-16s %.4s\n", "ident", reinterpret_cast<const char*>(h.ident));
  std::printf("%-16s %d\n", "version", h.version);
  PrintVector("scale", h.scale);
  PrintVector("scale_origin", h.scale_origin);
  std::printf("%-16s %.9g\n", "bounding_radius", h.bounding_radius);
  PrintVector("eye_position", h.eye_position);
  std::printf("%-16s %d\n", "numskins", h.numskins);
  std::printf("%-16s %d x %d (%lld bytes a skin)\n", "skin", h.skinwidth, h.skinheight,
              static_cast<long long>(h.skinwidth) * h.skinheight);
  std::printf("%-16s %d\n", "numverts", h.numverts);
  std::printf("%-16s %d\n", "numtris", h.numtris);
  std::printf("%-16s %d\n", "numframes", h.numframes);
  std::printf("%-16s %d (%s)\n", "synctype", h.synctype,
              h.synctype == 0 ? "synchronised" : "random");
  std::printf("%-16s %d (%s)\n", "flags", h.flags, FlagText(h.flags).c_str());
  std::printf("%-16s %.9g\n", "size", h.size);

  for (size_t i = 0; i < file.skins.size(); ++i) {
    const vandrell::MdlSkinImage& skin = file.skins[i];
    if (skin.group < 0)
      std::printf("skin image %zu: plain\n", i);
    else
      std::printf("skin image %zu: group %d, interval %.9g\n", i, skin.group, skin.interval);
  }

  for (size_t i = 0; i < file.frames.size(); ++i) {
    const vandrell::MdlFrame& frame = file.frames[i];
    std::printf("frame %zu \"%s\"", i, frame.name);
    if (frame.group >= 0) std::printf(" (group %d, interval %.9g)", frame.group, frame.interval);
    std::printf(": box (%u, %u, %u) .. (%u, %u, %u) = ", frame.box_min.x, frame.box_min.y,
                frame.box_min.z, frame.box_max.x, frame.box_max.y, frame.box_max.z);
    PrintDecoded(h, frame.box_min);
    std::printf(" .. ");
    PrintDecoded(h, frame.box_max);
    std::printf("\n");
    if (!with_vertices) continue;
    for (size_t j = 0; j < frame.vertices.size(); ++j) {
      const vandrell::MdlPackedVertex& v = frame.vertices[j];
      std::printf("  vertex %zu: (%u, %u, %u) = ", j, v.x, v.y, v.z);
      PrintDecoded(h, v);
      std::printf(" normal %u\n", v.normal_index);
    }
  }
}

void PrintFindings(FILE* out, const std::string& name, const vandrell::MdlCheckReport& report) {
  for (const vandrell::MdlFinding& finding : report.findings) {
    std::fprintf(out, "%s: %s: %s", name.c_str(), vandrell::SeverityName(finding.severity),
                 finding.what.c_str());
    if (!finding.engine.empty()) std::fprintf(out, " (%s)", finding.engine.c_str());
    std::fprintf(out, "\n");
  }
}

// Every file checked; true when none has an error.
bool RunCheck(const Options& options) {
  bool clean = true;
  for (const std::string& input : options.inputs) {
    const vandrell::MdlCheckReport report = vandrell::CheckMdlFile(input);
    if (report.HasErrors()) clean = false;
    if (options.json) {
      std::printf("%s\n", vandrell::CheckReportJson(input, report).c_str());
    } else if (report.findings.empty()) {
      std::printf("%s: ok\n", input.c_str());
    } else {
      PrintFindings(stdout, input, report);
    }
  }
  return clean;
}

bool SavePicture(const vandrell::RgbImage& image, const std::string& path) {
  std::string error;
  if (vandrell::WritePngFile(image, path, &error)) return true;
  std::fprintf(stderr, "mdlinfo: %s\n", error.c_str());
  return false;
}

bool WritePictures(const vandrell::MdlFile& file, const Options& options) {
  if (!options.skin_png.empty()) {
    const vandrell::RgbImage skin = vandrell::SkinPicture(file, 0);
    if (skin.width == 0) {
      std::fprintf(stderr, "mdlinfo: the model has no skin pixels to write\n");
      return false;
    }
    if (!SavePicture(skin, options.skin_png)) return false;
  }
  if (options.preview.empty()) return true;
  if (file.frames.empty()) {
    std::fprintf(stderr, "mdlinfo: the model has no frame to draw\n");
    return false;
  }
  if (options.frame_given && static_cast<size_t>(options.frame) >= file.frames.size()) {
    std::fprintf(stderr, "mdlinfo: no frame %ld: the model's frames are 0 to %zu\n", options.frame,
                 file.frames.size() - 1);
    return false;
  }
  const int width = options.width ? options.width : options.sheet ? 1024 : 640;
  const int height = options.height ? options.height : options.sheet ? 768 : 480;
  const vandrell::RgbImage picture =
      options.sheet
          ? vandrell::RenderContactSheet(file, width, height, kSheetFrames)
          : vandrell::RenderFrame(file, static_cast<size_t>(options.frame), width, height);
  return SavePicture(picture, options.preview);
}

// The model as glTF, named after the input file's stem.
bool WriteGltf(const vandrell::MdlFile& file, const std::string& input, const Options& options) {
  vandrell::GltfOptions gltf;
  gltf.quake_units = options.quake_units;
  const size_t slash = input.find_last_of("/\\");
  gltf.name = input.substr(slash == std::string::npos ? 0 : slash + 1);
  gltf.name = gltf.name.substr(0, gltf.name.rfind('.'));
  std::string error;
  if (vandrell::WriteGltfFile(file, options.gltf, gltf, &error)) return true;
  std::fprintf(stderr, "mdlinfo: %s\n", error.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  bool help = false;
  if (!ParseOptions(argc, argv, &options, &help)) {
    std::fprintf(stderr, "Try 'mdlinfo --help'.\n");
    return kExitUsage;
  }
  if (help) {
    PrintUsage(stdout);
    return kExitValid;
  }
  if (options.check) return RunCheck(options) ? kExitValid : kExitInvalid;

  const std::string& input = options.inputs[0];
  vandrell::MdlFile file;
  std::string error;
  if (!vandrell::ReadMdlFile(input, &file, &error)) {
    std::fprintf(stderr, "mdlinfo: %s: %s\n", input.c_str(), error.c_str());
    // The check walks past what stopped the reader and may say more.
    PrintFindings(stderr, "mdlinfo: " + input, vandrell::CheckMdlFile(input));
    return kExitInvalid;
  }
  std::printf("%s: well-formed Quake MDL\n", input.c_str());
  PrintModel(file, options.frames);
  PrintFindings(stderr, "mdlinfo: " + input, vandrell::CheckMdlFile(input));
  if (!WritePictures(file, options)) return kExitInvalid;
  return options.gltf.empty() || WriteGltf(file, input, options) ? kExitValid : kExitInvalid;
}
