// make_example: writes the bundled example scene, a small animated figure, as
// a glTF 2.0 text file with its buffer embedded, and the checker texture of
// its body as a PNG beside it.
//
//   make_example [FOLDER]      (default: the current folder)
//
// It writes FOLDER/example.gltf and FOLDER/example_checker.png. The output
// is the same byte for byte on every run and machine, so the files kept in
// examples/ can be checked against it.
//
// The figure, in glTF's frame (Y up, the front faces +Z), is modelled in
// inches, which are Quake units, under a root node that scales it to metres,
// glTF's unit, so that it imports at its modelled size. It has a body box
// textured with the checker; a head with a nose on its front and one arm on
// the figure's right, both in one flat blue. Over one second the head bobs
// twice and the arm swings forward and back about its shoulder.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "testscene/GltfBuffer.h"

namespace {

using testscene::GltfBuffer;
using testscene::JoinLines;
using testscene::kIndexTarget;
using testscene::kVertexTarget;

// --- Bytes --------------------------------------------------------------

void AppendUint32BigEndian(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void AppendUint16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

// --- PNG: truecolour, 8 bits a channel, stored (uncompressed) deflate -----

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

uint32_t Adler32(const std::vector<uint8_t>& data) {
  uint32_t a = 1, b = 0;
  for (uint8_t byte : data) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  return b << 16 | a;
}

void AppendChunk(std::vector<uint8_t>& png, const char type[4], const std::vector<uint8_t>& data) {
  AppendUint32BigEndian(png, static_cast<uint32_t>(data.size()));
  std::vector<uint8_t> typed(type, type + 4);
  typed.insert(typed.end(), data.begin(), data.end());
  png.insert(png.end(), typed.begin(), typed.end());
  AppendUint32BigEndian(png, Crc32(typed.data(), typed.size()));
}

// rgb holds width x height pixels, top row first.
std::vector<uint8_t> EncodePng(int width, int height, const std::vector<uint8_t>& rgb) {
  // Each row starts with filter type 0 (none).
  std::vector<uint8_t> raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), rgb.begin() + static_cast<long>(y) * width * 3,
               rgb.begin() + static_cast<long>(y + 1) * width * 3);
  }
  // zlib header (deflate, 32K window, no dictionary, check bits), then
  // stored blocks of at most 65535 bytes, then the Adler-32 of the raw data.
  std::vector<uint8_t> zlib = {0x78, 0x01};
  size_t at = 0;
  do {
    const size_t length = std::min<size_t>(raw.size() - at, 65535);
    const bool last = at + length == raw.size();
    zlib.push_back(last ? 1 : 0);
    AppendUint16(zlib, static_cast<uint16_t>(length));
    AppendUint16(zlib, static_cast<uint16_t>(~length));
    zlib.insert(zlib.end(), raw.begin() + static_cast<long>(at),
                raw.begin() + static_cast<long>(at + length));
    at += length;
  } while (at < raw.size());
  AppendUint32BigEndian(zlib, Adler32(raw));

  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  AppendUint32BigEndian(header, static_cast<uint32_t>(width));
  AppendUint32BigEndian(header, static_cast<uint32_t>(height));
  header.insert(header.end(),
                {8, 2, 0, 0, 0});  // depth 8, truecolour, deflate, filter 0, no interlace
  AppendChunk(png, "IHDR", header);
  AppendChunk(png, "IDAT", zlib);
  AppendChunk(png, "IEND", {});
  return png;
}

// A 16 x 16 checker of 4-pixel squares in red and yellow, with a green top
// left square so that a flip or a turn of the texture shows.
std::vector<uint8_t> CheckerPixels(int size) {
  std::vector<uint8_t> rgb;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const bool odd = ((x / 4) + (y / 4)) % 2 != 0;
      uint8_t r = 200, g = odd ? 200 : 40, b = 40;
      if (x < 4 && y < 4) r = 40, g = 180, b = 60;
      rgb.insert(rgb.end(), {r, g, b});
    }
  }
  return rgb;
}

// --- Geometry -------------------------------------------------------------

struct Vec3 {
  float v[3];
};

struct MeshData {
  std::vector<Vec3> positions;
  std::vector<Vec3> normals;
  std::vector<float> uvs;  // two a vertex
  std::vector<uint16_t> indices;
};

// An axis-aligned box of four vertices a face, wound counter-clockwise seen
// from outside; each face maps the whole texture, upright.
void AddBox(MeshData& mesh, Vec3 centre, Vec3 half) {
  for (int axis = 0; axis < 3; ++axis) {
    for (int sign = 1; sign >= -1; sign -= 2) {
      // u x v = the outward normal.
      const int u_axis = sign > 0 ? (axis + 1) % 3 : (axis + 2) % 3;
      const int v_axis = sign > 0 ? (axis + 2) % 3 : (axis + 1) % 3;
      const uint16_t first = static_cast<uint16_t>(mesh.positions.size());
      const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
      const float uv[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
      for (int c = 0; c < 4; ++c) {
        Vec3 p = centre;
        p.v[axis] += sign * half.v[axis];
        p.v[u_axis] += corners[c][0] * half.v[u_axis];
        p.v[v_axis] += corners[c][1] * half.v[v_axis];
        Vec3 n = {{0, 0, 0}};
        n.v[axis] = static_cast<float>(sign);
        mesh.positions.push_back(p);
        mesh.normals.push_back(n);
        mesh.uvs.push_back(uv[c][0]);
        mesh.uvs.push_back(uv[c][1]);
      }
      for (int k : {0, 1, 2, 0, 2, 3}) mesh.indices.push_back(static_cast<uint16_t>(first + k));
    }
  }
}

// --- glTF -----------------------------------------------------------------

std::vector<float> Flatten(const std::vector<Vec3>& points) {
  std::vector<float> values;
  for (const Vec3& p : points) values.insert(values.end(), p.v, p.v + 3);
  return values;
}

// One primitive of one material; uvs only when textured.
std::string MeshJson(GltfBuffer& buffer, const std::string& name, const MeshData& mesh,
                     int material, bool textured) {
  const int position = buffer.AddFloats(Flatten(mesh.positions), 3, true, kVertexTarget);
  const int normal = buffer.AddFloats(Flatten(mesh.normals), 3, false, kVertexTarget);
  std::string attributes =
      "\"POSITION\": " + std::to_string(position) + ", \"NORMAL\": " + std::to_string(normal);
  if (textured) {
    const int uv = buffer.AddFloats(mesh.uvs, 2, false, kVertexTarget);
    attributes += ", \"TEXCOORD_0\": " + std::to_string(uv);
  }
  const int indices = buffer.AddUint16(mesh.indices, 1, kIndexTarget);
  return "{\"name\": \"" + name + "\", \"primitives\": [{\"attributes\": {" + attributes +
         "}, \"indices\": " + std::to_string(indices) +
         ", \"material\": " + std::to_string(material) + "}]}";
}

std::string MakeGltf(const std::string& texture_name) {
  GltfBuffer buffer;

  MeshData body, head, arm;
  AddBox(body, {{0, 14, 0}}, {{8, 10, 4}});       // from the hips (y 4) to the shoulders (y 24)
  AddBox(head, {{0, 0, 0}}, {{4, 4, 4}});         // about the head node's origin
  AddBox(head, {{0, -0.5f, 5}}, {{1, 1.5f, 1}});  // the nose, on the front (+Z)
  AddBox(arm, {{0, -8, 0}}, {{2, 8, 2}});         // hanging from the shoulder pivot
  // The figure's right hand side is -X when it faces +Z with Y up.
  std::vector<std::string> meshes = {
      MeshJson(buffer, "body", body, 0, true),
      MeshJson(buffer, "head", head, 1, false),
      MeshJson(buffer, "arm", arm, 1, false),
  };

  // One second of keys, a quarter second apart.
  const std::vector<float> times = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f};
  const int time_accessor = buffer.AddFloats(times, 1, true);
  // The head bobs up 1.5 units twice.
  const std::vector<float> head_positions = {0, 29, 0,     0, 30.5f, 0,  0, 29,
                                             0, 0,  30.5f, 0, 0,     29, 0};
  const int head_accessor = buffer.AddFloats(head_positions, 3, false);
  // The arm swings 45 degrees forward, back through rest to 45 degrees behind,
  // and returns: turns about X, as (x, y, z, w) quaternions. A turn by -45
  // degrees about X brings the hanging arm (-Y) towards the front (+Z).
  std::vector<float> arm_rotations;
  for (double degrees : {0.0, -45.0, 0.0, 45.0, 0.0}) {
    const double half = degrees * M_PI / 360.0;
    arm_rotations.insert(arm_rotations.end(), {static_cast<float>(std::sin(half)), 0.0f, 0.0f,
                                               static_cast<float>(std::cos(half))});
  }
  const int arm_accessor = buffer.AddFloats(arm_rotations, 4, false);

  std::string json = "{\n";
  json += "  \"asset\": {\"version\": \"2.0\", \"generator\": \"Vandrell make_example\"},\n";
  json += "  \"scene\": 0,\n";
  json += "  \"scenes\": [{\"name\": \"example\", \"nodes\": [0]}],\n";
  json += "  \"nodes\": [\n";
  // Inches to metres.
  json +=
      "    {\"name\": \"figure\", \"scale\": [0.0254, 0.0254, 0.0254], \"children\": [1, 2, "
      "3]},\n";
  json += "    {\"name\": \"body\", \"mesh\": 0},\n";
  json += "    {\"name\": \"head\", \"mesh\": 1, \"translation\": [0, 29, 0]},\n";
  json += "    {\"name\": \"arm\", \"mesh\": 2, \"translation\": [-10, 23, 0]}\n";
  json += "  ],\n";
  json += "  \"meshes\": [\n" + JoinLines(meshes) + "\n  ],\n";
  json += "  \"materials\": [\n";
  json +=
      "    {\"name\": \"checker\", \"pbrMetallicRoughness\": {\"baseColorTexture\": "
      "{\"index\": 0}, \"metallicFactor\": 0, \"roughnessFactor\": 1}},\n";
  json +=
      "    {\"name\": \"blue\", \"pbrMetallicRoughness\": {\"baseColorFactor\": "
      "[0.15, 0.3, 0.85, 1], \"metallicFactor\": 0, \"roughnessFactor\": 1}}\n";
  json += "  ],\n";
  json += "  \"textures\": [{\"source\": 0, \"sampler\": 0}],\n";
  // Nearest filtering: the skin is painted from the texture's own pixels.
  json += "  \"samplers\": [{\"magFilter\": 9728, \"minFilter\": 9728}],\n";
  json += "  \"images\": [{\"uri\": \"" + texture_name + "\"}],\n";
  json += "  \"animations\": [{\"name\": \"wave\", \"channels\": [\n";
  json += "    {\"sampler\": 0, \"target\": {\"node\": 2, \"path\": \"translation\"}},\n";
  json += "    {\"sampler\": 1, \"target\": {\"node\": 3, \"path\": \"rotation\"}}\n";
  json += "  ], \"samplers\": [\n";
  json += "    {\"input\": " + std::to_string(time_accessor) +
          ", \"output\": " + std::to_string(head_accessor) + ", \"interpolation\": \"LINEAR\"},\n";
  json += "    {\"input\": " + std::to_string(time_accessor) +
          ", \"output\": " + std::to_string(arm_accessor) + ", \"interpolation\": \"LINEAR\"}\n";
  json += "  ]}],\n";
  json += buffer.Members();
  json += "\n}\n";
  return json;
}

bool WriteFile(const std::string& path, const void* data, size_t size) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) {
    std::fprintf(stderr, "make_example: cannot create %s\n", path.c_str());
    return false;
  }
  bool ok = std::fwrite(data, 1, size, out) == size;
  if (std::fclose(out) != 0) ok = false;
  if (!ok) std::fprintf(stderr, "make_example: write error on %s\n", path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
    std::fprintf(stderr, "usage: make_example [FOLDER]\n");
    return 2;
  }
  const std::string folder = argc == 2 ? argv[1] : ".";
  const std::string texture_name = "example_checker.png";
  const std::vector<uint8_t> png = EncodePng(16, 16, CheckerPixels(16));
  const std::string gltf = MakeGltf(texture_name);
  if (!WriteFile(folder + "/" + texture_name, png.data(), png.size())) return 1;
  if (!WriteFile(folder + "/example.gltf", gltf.data(), gltf.size())) return 1;
  return 0;
}
