#include "examine/MdlToGltf.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "examine/JsonText.h"
#include "examine/PngFile.h"
#include "mdlformat/FrameNameClips.h"
#include "mdlformat/QuakePalette.h"

namespace vandrell {

namespace {

static_assert(sizeof(float) == 4, "glTF's floats are IEEE 754 single precision");

constexpr double kMetresPerUnit = 0.0254;  // one Quake unit is one inch
constexpr float kFrameSeconds = 0.1f;      // the games show plain frames ten a second

// glTF's enumerations.
constexpr int kArrayBuffer = 34962;
constexpr int kElementArrayBuffer = 34963;
constexpr int kUnsignedShort = 5123;
constexpr int kUnsignedInt = 5125;
constexpr int kFloat = 5126;
constexpr int kNearest = 9728;

// GLB's magic words, read as little-endian uint32: "glTF", "JSON", "BIN\0".
constexpr uint32_t kGlbMagic = 0x46546C67;
constexpr uint32_t kGlbJsonChunk = 0x4E4F534A;
constexpr uint32_t kGlbBinChunk = 0x004E4942;
constexpr uint32_t kGlbVersion = 2;

void PutUint32(std::vector<uint8_t>* out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<uint8_t>(value >> shift));
}

void PutUint16(std::vector<uint8_t>* out, uint16_t value) {
  out->push_back(static_cast<uint8_t>(value));
  out->push_back(static_cast<uint8_t>(value >> 8));
}

void PutFloat(std::vector<uint8_t>* out, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  PutUint32(out, bits);
}

// A float as the shortest decimal text that reads back as exactly its value,
// also in double precision: accessors' min and max must equal the data.
std::string Number(float value) {
  if (!std::isfinite(value)) value = 0.0f;
  char text[40];
  for (int digits = 9; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
    if (std::strtod(text, nullptr) == static_cast<double>(value)) break;
  }
  return text;
}

std::string Join(const std::vector<std::string>& items) {
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + items[i];
  return out;
}

std::string Array(const std::vector<std::string>& items) { return "[" + Join(items) + "]"; }

// The buffer with its views and accessors as they are added.
class AssetBuilder {
 public:
  std::vector<uint8_t> binary;
  std::vector<std::string> views;
  std::vector<std::string> accessors;

  // A view of the bytes added since start, padded to 4 bytes; its index.
  size_t EndView(size_t start, int target) {
    std::string view = "{\"buffer\":0,\"byteOffset\":" + std::to_string(start) +
                       ",\"byteLength\":" + std::to_string(binary.size() - start);
    if (target) view += ",\"target\":" + std::to_string(target);
    views.push_back(view + "}");
    while (binary.size() % 4) binary.push_back(0);
    return views.size() - 1;
  }

  // Floats of the given type ("VEC3", "SCALAR") from view's byte offset;
  // with_bounds adds min and max per component. Returns its index.
  size_t AddFloats(size_t view, size_t byte_offset, const float* values, size_t count,
                   int components, const char* type, bool with_bounds) {
    std::string accessor = "{\"bufferView\":" + std::to_string(view);
    if (byte_offset) accessor += ",\"byteOffset\":" + std::to_string(byte_offset);
    accessor += ",\"componentType\":" + std::to_string(kFloat) +
                ",\"count\":" + std::to_string(count) + ",\"type\":\"" + type + "\"";
    if (with_bounds) {
      std::vector<std::string> low, high;
      for (int c = 0; c < components; ++c) {
        float lo = values[c], hi = values[c];
        for (size_t i = 1; i < count; ++i) {
          lo = std::min(lo, values[i * components + c]);
          hi = std::max(hi, values[i * components + c]);
        }
        low.push_back(Number(lo));
        high.push_back(Number(hi));
      }
      accessor += ",\"min\":" + Array(low) + ",\"max\":" + Array(high);
    }
    accessors.push_back(accessor + "}");
    return accessors.size() - 1;
  }
};

// The mesh's vertices: which model vertex each one is, and where on the skin.
struct ExpandedMesh {
  std::vector<size_t> model_vertex;  // per mesh vertex
  std::vector<float> uv;             // per mesh vertex: u, v
  std::vector<uint32_t> indices;     // three a triangle, counter-clockwise from the front
};

// Column or row s of a skin size pixels across, at the middle of its pixel.
float MiddleOfPixel(int64_t s, int32_t size) {
  return size > 0 ? static_cast<float>((static_cast<double>(s) + 0.5) / size) : 0.0f;
}

ExpandedMesh ExpandVertices(const MdlFile& file) {
  const MdlFileHeader& h = file.header;
  ExpandedMesh mesh;
  // Each model vertex v has a front mesh vertex (slot 2v) and, for a seam
  // vertex of a back-facing triangle, a back one (slot 2v + 1); -1: not yet.
  std::vector<int64_t> slot(2 * file.skin_vertices.size(), -1);
  for (const MdlTriangle& triangle : file.triangles) {
    for (int corner : {0, 2, 1}) {
      const size_t v = static_cast<size_t>(triangle.vertices[corner]);
      const MdlSkinVertex& skin = file.skin_vertices[v];
      const bool back = skin.on_seam != 0 && triangle.faces_front == 0;
      const size_t key = 2 * v + (back ? 1 : 0);
      if (slot[key] < 0) {
        slot[key] = static_cast<int64_t>(mesh.model_vertex.size());
        mesh.model_vertex.push_back(v);
        const int64_t s = static_cast<int64_t>(skin.s) + (back ? h.skinwidth / 2 : 0);
        mesh.uv.push_back(MiddleOfPixel(s, h.skinwidth));
        mesh.uv.push_back(MiddleOfPixel(skin.t, h.skinheight));
      }
      mesh.indices.push_back(static_cast<uint32_t>(slot[key]));
    }
  }
  return mesh;
}

// The position of model vertex v in frame f, in glTF's axes and unit.
void Position(const MdlFile& file, size_t f, size_t v, double unit, float out[3]) {
  const MdlPackedVertex& p = file.frames[f].vertices[v];
  const double x = DecodeCoordinate(file.header, 0, p.x);
  const double y = DecodeCoordinate(file.header, 1, p.y);
  const double z = DecodeCoordinate(file.header, 2, p.z);
  out[0] = static_cast<float>(y * unit);
  out[1] = static_cast<float>(z * unit);
  out[2] = static_cast<float>(x * unit);
}

// Skin image index through the palette; with fullbright_only, every colour
// but the fullbright ones black.
RgbImage SkinImage(const MdlFile& file, size_t index, bool fullbright_only) {
  const int w = file.header.skinwidth, h = file.header.skinheight;
  RgbImage image(w, h, Rgb{0, 0, 0});
  const std::vector<uint8_t>& pixels = file.skins[index].pixels;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint8_t i = pixels[static_cast<size_t>(y) * static_cast<size_t>(w) + x];
      if (fullbright_only && i < kPaletteSizeWithoutFullbright) continue;
      image.Set(x, y, {kQuakePaletteRgb[i][0], kQuakePaletteRgb[i][1], kQuakePaletteRgb[i][2]});
    }
  }
  return image;
}

bool HasFullbright(const MdlFile& file) {
  for (uint8_t i : file.skins[0].pixels)
    if (i >= kPaletteSizeWithoutFullbright) return true;
  return false;
}

// The group's intervals as key times (each frame from the end of the one
// before), or a tenth of a second apart when they do not increase from 0.
std::vector<float> GroupTimes(const MdlFile& file, size_t first, size_t count) {
  std::vector<float> times(1, 0.0f);
  for (size_t k = 1; k < count; ++k) {
    const float t = file.frames[first + k - 1].interval;
    if (!(std::isfinite(t) && t > times.back())) {
      times.clear();
      for (size_t j = 0; j < count; ++j) times.push_back(static_cast<float>(j * 0.1));
      return times;
    }
    times.push_back(t);
  }
  return times;
}

bool EndsWith(const std::string& text, const char* ending) {
  const size_t n = std::strlen(ending);
  if (text.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(text[text.size() - n + i])) != ending[i])
      return false;
  return true;
}

// A file name as a URI reference: unreserved characters as they are, every
// other byte percent-encoded.
std::string UriOf(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", c);
      out += escape;
    }
  }
  return out;
}

bool WriteBytes(const std::string& path, const void* data, size_t size, std::string* error) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) {
    *error = "cannot create " + path;
    return false;
  }
  bool ok = std::fwrite(data, 1, size, out) == size;
  if (std::fclose(out) != 0) ok = false;
  if (!ok) {
    *error = "write error on " + path;
    std::remove(path.c_str());
  }
  return ok;
}

}  // namespace

std::vector<GltfClip> ModelClips(const MdlFile& file) {
  std::vector<GltfClip> clips;
  size_t f = 0;
  while (f < file.frames.size()) {
    // A run of plain frames, or one group's members.
    const int32_t group = file.frames[f].group;
    size_t end = f + 1;
    while (end < file.frames.size() &&
           (group < 0 ? file.frames[end].group < 0 : file.frames[end].group == group))
      ++end;
    std::vector<std::string> names;
    for (size_t i = f; i < end; ++i) names.emplace_back(file.frames[i].name);
    const std::vector<FrameRun> runs = ClipsFromFrameNames(names);
    if (group >= 0) {
      GltfClip clip;
      clip.name = runs.front().name;
      for (size_t i = f; i < end; ++i) clip.frames.push_back(i);
      clip.times = GroupTimes(file, f, end - f);
      clips.push_back(std::move(clip));
    } else {
      for (const FrameRun& run : runs) {
        GltfClip clip;
        clip.name = run.name;
        for (size_t k = 0; k < run.count; ++k) {
          clip.frames.push_back(f + run.first + k);
          clip.times.push_back(static_cast<float>(k * static_cast<double>(kFrameSeconds)));
        }
        clips.push_back(std::move(clip));
      }
    }
    f = end;
  }
  return clips;
}

bool BuildGltf(const MdlFile& file, const GltfOptions& options, const std::string& buffer_uri,
               GltfAsset* asset, std::string* error) {
  if (file.triangles.empty()) {
    *error = "the model has no triangles to convert";
    return false;
  }
  if (file.frames.empty()) {
    *error = "the model has no frames to convert";
    return false;
  }
  const size_t frames = file.frames.size();
  if (frames > kMaxGltfFrames) {
    *error = "the model's " + std::to_string(frames) + " frames are more than the " +
             std::to_string(kMaxGltfFrames) + " a glTF file is written with";
    return false;
  }
  const double unit = options.quake_units ? 1.0 : kMetresPerUnit;
  const ExpandedMesh mesh = ExpandVertices(file);
  const size_t count = mesh.model_vertex.size();
  AssetBuilder b;

  // Triangles.
  size_t start = b.binary.size();
  const bool wide = count > 65535;
  for (uint32_t index : mesh.indices) {
    if (wide)
      PutUint32(&b.binary, index);
    else
      PutUint16(&b.binary, static_cast<uint16_t>(index));
  }
  size_t view = b.EndView(start, kElementArrayBuffer);
  b.accessors.push_back("{\"bufferView\":" + std::to_string(view) + ",\"componentType\":" +
                        std::to_string(wide ? kUnsignedInt : kUnsignedShort) + ",\"count\":" +
                        std::to_string(mesh.indices.size()) + ",\"type\":\"SCALAR\"}");
  const size_t indices_accessor = b.accessors.size() - 1;

  // Texture coordinates.
  start = b.binary.size();
  for (float value : mesh.uv) PutFloat(&b.binary, value);
  view = b.EndView(start, kArrayBuffer);
  const size_t uv_accessor = b.AddFloats(view, 0, mesh.uv.data(), count, 2, "VEC2", false);

  // The first frame's positions, then each frame's displacements from them.
  std::vector<float> base(3 * count);
  for (size_t i = 0; i < count; ++i) Position(file, 0, mesh.model_vertex[i], unit, &base[3 * i]);
  start = b.binary.size();
  for (float value : base) PutFloat(&b.binary, value);
  view = b.EndView(start, kArrayBuffer);
  const size_t position_accessor = b.AddFloats(view, 0, base.data(), count, 3, "VEC3", true);

  std::vector<std::string> targets, names, zeros;
  std::vector<float> delta(3 * count);
  for (size_t f = 0; f < frames; ++f) {
    for (size_t i = 0; i < count; ++i) {
      float p[3];
      Position(file, f, mesh.model_vertex[i], unit, p);
      for (int c = 0; c < 3; ++c) delta[3 * i + c] = p[c] - base[3 * i + c];
    }
    // A view of its own each: glTF wants a stride on a view that vertex
    // attributes share.
    start = b.binary.size();
    for (float value : delta) PutFloat(&b.binary, value);
    view = b.EndView(start, kArrayBuffer);
    const size_t accessor = b.AddFloats(view, 0, delta.data(), count, 3, "VEC3", true);
    targets.push_back("{\"POSITION\":" + std::to_string(accessor) + "}");
    names.push_back(JsonString(file.frames[f].name));
    zeros.push_back("0");
  }

  // One animation per clip: at each key, weight 1 on its frame, 0 elsewhere.
  std::vector<std::string> animations;
  for (const GltfClip& clip : ModelClips(file)) {
    start = b.binary.size();
    for (float t : clip.times) PutFloat(&b.binary, t);
    view = b.EndView(start, 0);
    const size_t input =
        b.AddFloats(view, 0, clip.times.data(), clip.times.size(), 1, "SCALAR", true);
    start = b.binary.size();
    for (size_t shown : clip.frames)
      for (size_t f = 0; f < frames; ++f) PutFloat(&b.binary, f == shown ? 1.0f : 0.0f);
    view = b.EndView(start, 0);
    b.accessors.push_back(
        "{\"bufferView\":" + std::to_string(view) + ",\"componentType\":" + std::to_string(kFloat) +
        ",\"count\":" + std::to_string(clip.frames.size() * frames) + ",\"type\":\"SCALAR\"}");
    const size_t output = b.accessors.size() - 1;
    animations.push_back("{\"name\":" + JsonString(clip.name) + ",\"samplers\":[{\"input\":" +
                         std::to_string(input) + ",\"output\":" + std::to_string(output) +
                         ",\"interpolation\":\"STEP\"}],\"channels\":[{\"sampler\":0,"
                         "\"target\":{\"node\":0,\"path\":\"weights\"}}]}");
  }

  // Skin pictures: the first one's colours and fullbright pixels, then the rest.
  std::vector<std::string> images, textures;
  const bool skinned =
      !file.skins.empty() && file.header.skinwidth > 0 && file.header.skinheight > 0;
  const bool glowing = skinned && HasFullbright(file);
  if (skinned) {
    auto add_image = [&](const RgbImage& picture, const std::string& name) {
      std::vector<uint8_t> png;
      if (!EncodePng(picture, &png, error)) return false;
      const size_t png_start = b.binary.size();
      b.binary.insert(b.binary.end(), png.begin(), png.end());
      const size_t png_view = b.EndView(png_start, 0);
      images.push_back("{\"name\":" + JsonString(name) + ",\"bufferView\":" +
                       std::to_string(png_view) + ",\"mimeType\":\"image/png\"}");
      return true;
    };
    if (!add_image(SkinImage(file, 0, false), "skin")) return false;
    textures.push_back("{\"sampler\":0,\"source\":0}");
    if (glowing) {
      if (!add_image(SkinImage(file, 0, true), "skin fullbright")) return false;
      textures.push_back("{\"sampler\":0,\"source\":1}");
    }
    for (size_t i = 1; i < file.skins.size(); ++i) {
      if (!add_image(SkinImage(file, i, false), "skin picture " + std::to_string(i))) return false;
    }
  }

  std::string material = "{\"name\":\"skin\",\"pbrMetallicRoughness\":{";
  if (skinned) material += "\"baseColorTexture\":{\"index\":0},";
  material += "\"metallicFactor\":0,\"roughnessFactor\":1}";
  if (glowing) material += ",\"emissiveTexture\":{\"index\":1},\"emissiveFactor\":[1,1,1]";
  material += "}";

  const std::string name = JsonString(options.name.empty() ? "model" : options.name);
  std::string json = "{\"asset\":{\"version\":\"2.0\",\"generator\":\"Vandrell mdlinfo\"}";
  json += ",\"scene\":0,\"scenes\":[{\"nodes\":[0]}]";
  json += ",\"nodes\":[{\"name\":" + name + ",\"mesh\":0}]";
  json += ",\"meshes\":[{\"name\":" + name +
          ",\"primitives\":[{\"attributes\":{\"POSITION\":" + std::to_string(position_accessor) +
          ",\"TEXCOORD_0\":" + std::to_string(uv_accessor) +
          "},\"indices\":" + std::to_string(indices_accessor) +
          ",\"material\":0,\"targets\":" + Array(targets) + "}],\"weights\":" + Array(zeros) +
          ",\"extras\":{\"targetNames\":" + Array(names) + "}}]";
  json += ",\"materials\":[" + material + "]";
  if (skinned) {
    json += ",\"samplers\":[{\"magFilter\":" + std::to_string(kNearest) +
            ",\"minFilter\":" + std::to_string(kNearest) + "}]";
    json += ",\"images\":" + Array(images) + ",\"textures\":" + Array(textures);
  }
  json += ",\"animations\":" + Array(animations);
  json += ",\"accessors\":" + Array(b.accessors) + ",\"bufferViews\":" + Array(b.views);
  json += ",\"buffers\":[{";
  if (!buffer_uri.empty()) json += "\"uri\":" + JsonString(buffer_uri) + ",";
  json += "\"byteLength\":" + std::to_string(b.binary.size()) + "}]}";

  asset->json = std::move(json);
  asset->binary = std::move(b.binary);
  return true;
}

std::vector<uint8_t> GlbBytes(const GltfAsset& asset) {
  std::string json = asset.json;
  while (json.size() % 4) json += ' ';
  std::vector<uint8_t> out;
  const size_t total = 12 + 8 + json.size() + 8 + asset.binary.size();
  PutUint32(&out, kGlbMagic);
  PutUint32(&out, kGlbVersion);
  PutUint32(&out, static_cast<uint32_t>(total));
  PutUint32(&out, static_cast<uint32_t>(json.size()));
  PutUint32(&out, kGlbJsonChunk);
  out.insert(out.end(), json.begin(), json.end());
  PutUint32(&out, static_cast<uint32_t>(asset.binary.size()));
  PutUint32(&out, kGlbBinChunk);
  out.insert(out.end(), asset.binary.begin(), asset.binary.end());
  return out;
}

bool IsGltfFileName(const std::string& path) {
  return EndsWith(path, ".glb") || EndsWith(path, ".gltf");
}

bool WriteGltfFile(const MdlFile& file, const std::string& path, const GltfOptions& options,
                   std::string* error) {
  const bool binary = EndsWith(path, ".glb");
  if (!IsGltfFileName(path)) {
    *error =
        "a glTF file's name ends in .glb (one binary file) or .gltf (text, with a .bin "
        "beside it), not " +
        path;
    return false;
  }
  GltfAsset asset;
  if (binary) {
    if (!BuildGltf(file, options, "", &asset, error)) return false;
    const std::vector<uint8_t> glb = GlbBytes(asset);
    if (glb.size() > UINT32_MAX) {
      *error = "the model is too large for a GLB file (4 GiB)";
      return false;
    }
    return WriteBytes(path, glb.data(), glb.size(), error);
  }
  const std::string bin_path = path.substr(0, path.size() - 5) + ".bin";
  const size_t slash = bin_path.find_last_of("/\\");
  const std::string bin_name = slash == std::string::npos ? bin_path : bin_path.substr(slash + 1);
  if (!BuildGltf(file, options, UriOf(bin_name), &asset, error)) return false;
  if (!WriteBytes(bin_path, asset.binary.data(), asset.binary.size(), error)) return false;
  const std::string text = asset.json + "\n";
  if (!WriteBytes(path, text.data(), text.size(), error)) {
    std::remove(bin_path.c_str());
    return false;
  }
  return true;
}

}  // namespace vandrell
