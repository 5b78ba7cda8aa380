// mdlinfo: reads a Quake MDL file, checks its layout and prints what it holds.
//
//   mdlinfo FILE.mdl [--frames] [--skin-ppm OUT.ppm]
//
// Exit status: 0 for a well-formed file, 1 for a file that is not (or an
// output that cannot be written), 2 for a usage error.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "mdl/MdlReader.h"
#include "skin/QuakePalette.h"

namespace {

constexpr int kExitValid = 0;
constexpr int kExitInvalid = 1;
constexpr int kExitUsage = 2;

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "usage: mdlinfo FILE.mdl [--frames] [--skin-ppm OUT.ppm]\n"
               "\n"
               "Checks that FILE.mdl is a well-formed Quake MDL model (version 6) and\n"
               "prints its header, its counts, its skin size and each frame's name and\n"
               "box, in packed bytes and decoded (scale_origin + packed x scale).\n"
               "\n"
               "  --frames          also print every vertex of every frame, decoded,\n"
               "                    with its normal index\n"
               "  --skin-ppm FILE   write the first skin image as a binary PPM through\n"
               "                    the Quake palette\n"
               "\n"
               "Exit status: 0 well-formed, 1 not well-formed (or the PPM could not be\n"
               "written), 2 usage error.\n");
}

struct Options {
  std::string input;
  bool frames = false;
  std::string skin_ppm;
};

// False on a usage error, after saying why.
bool ParseOptions(int argc, char** argv, Options* options, bool* help) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      *help = true;
      return true;
    }
    if (arg == "--frames") {
      options->frames = true;
    } else if (arg == "--skin-ppm") {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "mdlinfo: --skin-ppm needs a file name\n");
        return false;
      }
      options->skin_ppm = argv[++i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "mdlinfo: unknown option %s\n", arg.c_str());
      return false;
    } else if (options->input.empty()) {
      options->input = arg;
    } else {
      std::fprintf(stderr, "mdlinfo: more than one input file\n");
      return false;
    }
  }
  if (options->input.empty()) {
    std::fprintf(stderr, "mdlinfo: no input file\n");
    return false;
  }
  return true;
}

// The effect bits by the options dialog's names for them.
const char* const kFlagNames[8] = {"rocket smoke trail",       "grenade smoke trail",
                                   "gib long blood trail",     "rotate",
                                   "wizard green tracer",      "gib short blood trail",
                                   "hellknight yellow tracer", "vore purple tracer"};

std::string FlagText(int32_t flags) {
  std::string text;
  for (int bit = 0; bit < 32; ++bit) {
    const uint32_t value = 1u << bit;
    if ((static_cast<uint32_t>(flags) & value) == 0) continue;
    if (!text.empty()) text += ", ";
    text += bit < 8 ? kFlagNames[bit] : "unknown bit " + std::to_string(value);
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

// What a game would refuse although the layout is sound.
void PrintWarnings(const vandrell::MdlFile& file, const std::string& name) {
  const vandrell::MdlFileHeader& h = file.header;
  auto warn = [&](const std::string& text) {
    std::fprintf(stderr, "mdlinfo: %s: warning: %s\n", name.c_str(), text.c_str());
  };
  if (h.numskins < 1) warn("no skin");
  if (h.skinwidth % 4 != 0) warn("the skin width is not a multiple of 4");
  if (h.numverts < 1) warn("no vertices");
  if (h.numtris < 1) warn("no triangles");
  if (h.numframes < 1) warn("no frames");
  for (size_t i = 0; i < file.frames.size(); ++i) {
    if (!file.frames[i].name_terminated)
      warn("frame " + std::to_string(i) + "'s name fills its 16 bytes without a zero byte");
  }
}

// The first skin image as a binary PPM, each index through the palette.
bool WriteSkinPpm(const vandrell::MdlFile& file, const std::string& path) {
  if (file.skins.empty() || file.skins[0].pixels.empty()) {
    std::fprintf(stderr, "mdlinfo: the model has no skin pixels to write\n");
    return false;
  }
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) {
    std::fprintf(stderr, "mdlinfo: cannot create %s\n", path.c_str());
    return false;
  }
  bool ok =
      std::fprintf(out, "P6\n%d %d\n255\n", file.header.skinwidth, file.header.skinheight) > 0;
  for (uint8_t index : file.skins[0].pixels) {
    const host::PaletteColor16& colour = vandrell::QuakePalette[index];
    // Components are 8-bit levels x 257: the high byte is the level.
    const uint8_t rgb[3] = {static_cast<uint8_t>(colour.r >> 8),
                            static_cast<uint8_t>(colour.g >> 8),
                            static_cast<uint8_t>(colour.b >> 8)};
    if (ok) ok = std::fwrite(rgb, 1, sizeof rgb, out) == sizeof rgb;
  }
  if (std::fclose(out) != 0) ok = false;
  if (!ok) {
    std::fprintf(stderr, "mdlinfo: write error on %s\n", path.c_str());
    std::remove(path.c_str());
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  bool help = false;
  if (!ParseOptions(argc, argv, &options, &help)) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  if (help) {
    PrintUsage(stdout);
    return kExitValid;
  }

  vandrell::MdlFile file;
  std::string error;
  if (!vandrell::ReadMdlFile(options.input, &file, &error)) {
    std::fprintf(stderr, "mdlinfo: %s: %s\n", options.input.c_str(), error.c_str());
    return kExitInvalid;
  }
  std::printf("%s: well-formed Quake MDL\n", options.input.c_str());
  PrintModel(file, options.frames);
  PrintWarnings(file, options.input);
  if (!options.skin_ppm.empty() && !WriteSkinPpm(file, options.skin_ppm)) return kExitInvalid;
  return kExitValid;
}
