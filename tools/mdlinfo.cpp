// mdlinfo: reads a Quake MDL file, checks it and prints what it holds; checks
// files against the format and the engines' limits; draws the skin and the
// model as PNG pictures; writes it as glTF. See MdlinfoHelpText() for the
// options and exit statuses.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "PackageVersion.h"
#include "examine/CheckJson.h"
#include "examine/MdlCheck.h"
#include "examine/MdlToGltf.h"
#include "examine/ModelPicture.h"
#include "examine/PngFile.h"
#include "mdlformat/MdlFormat.h"
#include "mdlformat/MdlReader.h"
#include "tools/MdlinfoOptions.h"

namespace {

constexpr int kExitValid = 0;
constexpr int kExitInvalid = 1;
constexpr int kExitUsage = 2;

using tools::kSheetFrames;
using Options = tools::MdlinfoOptions;

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
  std::string error;
  if (!tools::ParseMdlinfoOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "mdlinfo: %s\nTry 'mdlinfo --help'.\n", error.c_str());
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(tools::MdlinfoHelpText().c_str(), stdout);
    return kExitValid;
  }
  if (options.version) {
    std::printf("mdlinfo %s\n", vandrell::kPackageVersion);
    return kExitValid;
  }
  if (options.check) return RunCheck(options) ? kExitValid : kExitInvalid;

  const std::string& input = options.inputs[0];
  vandrell::MdlFile file;
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
