#include "hostapp/import/quake/IqmReader.h"

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "mdlformat/ByteCursor.h"

namespace hostapp {

using vandrell::ByteCursor;

namespace {

constexpr uint32_t kVersion = 2;
constexpr size_t kHeaderSize = 124;
constexpr size_t kMeshSize = 24;
constexpr size_t kVertexArraySize = 20;
constexpr size_t kTriangleSize = 12;
constexpr size_t kJointSize = 48;
constexpr size_t kPoseSize = 88;
constexpr size_t kAnimationSize = 20;
constexpr int kChannels = 10;  // translation 3, rotation 4, scale 3

// Vertex array types and component formats.
enum : uint32_t { kPosition = 0, kTexcoord = 1, kBlendIndexes = 4, kBlendWeights = 5 };
enum : uint32_t {
  kByte = 0,
  kUbyte = 1,
  kShort = 2,
  kUshort = 3,
  kInt = 4,
  kUint = 5,
  kHalf = 6,
  kFloat = 7,
  kDouble = 8
};

// More positions than this (frames times vertices) are refused before they
// are worked out: a few hundred megabytes.
constexpr uint64_t kMostPositions = uint64_t{1} << 25;
constexpr uint32_t kMostFrames = uint32_t{1} << 20;

struct Header {
  uint32_t version, file_size, flags;
  uint32_t text_count, text_at;
  uint32_t mesh_count, meshes_at;
  uint32_t array_count, vertex_count, arrays_at;
  uint32_t triangle_count, triangles_at, adjacency_at;
  uint32_t joint_count, joints_at;
  uint32_t pose_count, poses_at;
  uint32_t animation_count, animations_at;
  uint32_t frame_count, frame_channels, frames_at, bounds_at;
  uint32_t comment_count, comments_at;
  uint32_t extension_count, extensions_at;
};

struct VertexArray {
  uint32_t type, flags, format, components, at;
};

// An affine map p -> A p + t in double precision, rows of [A | t].
struct Affine {
  double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};

  Affine operator*(const Affine& b) const {
    Affine c;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 4; ++j)
        c.m[i][j] = m[i][0] * b.m[0][j] + m[i][1] * b.m[1][j] + m[i][2] * b.m[2][j] +
                    (j == 3 ? m[i][3] : 0.0);
    return c;
  }
  void Add(const Affine& b, double w) {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 4; ++j) m[i][j] += w * b.m[i][j];
  }
  std::array<double, 3> Apply(const std::array<double, 3>& p) const {
    std::array<double, 3> q;
    for (int i = 0; i < 3; ++i) q[i] = m[i][0] * p[0] + m[i][1] * p[1] + m[i][2] * p[2] + m[i][3];
    return q;
  }
};

// Scale first, then the rotation (x, y, z, w; made unit length), then the
// translation: each of a joint's channels as IQM applies them.
Affine FromChannels(const double c[kChannels]) {
  double x = c[3], y = c[4], z = c[5], w = c[6];
  const double length = std::sqrt(x * x + y * y + z * z + w * w);
  if (length > 0)
    x /= length, y /= length, z /= length, w /= length;
  else
    w = 1;
  const double r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
                          {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
                          {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}};
  Affine a;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) a.m[i][j] = r[i][j] * c[7 + j];
    a.m[i][3] = c[i];
  }
  return a;
}

// The inverse of a; false when its linear part is singular.
bool Invert(const Affine& a, Affine* inverse) {
  const double(&m)[3][4] = a.m;
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  if (!std::isfinite(det) || std::fabs(det) < 1e-300) return false;
  double(&n)[3][4] = inverse->m;
  n[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) / det;
  n[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
  n[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
  n[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) / det;
  n[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
  n[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
  n[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) / det;
  n[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
  n[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
  for (int i = 0; i < 3; ++i)
    n[i][3] = -(n[i][0] * m[0][3] + n[i][1] * m[1][3] + n[i][2] * m[2][3]);
  return true;
}

size_t ComponentBytes(uint32_t format) {
  switch (format) {
    case kByte:
    case kUbyte:
      return 1;
    case kShort:
    case kUshort:
    case kHalf:
      return 2;
    case kInt:
    case kUint:
    case kFloat:
      return 4;
    case kDouble:
      return 8;
    default:
      return 0;
  }
}

double HalfValue(uint16_t bits) {
  const int exponent = (bits >> 10) & 0x1f;
  const int mantissa = bits & 0x3ff;
  double value = exponent == 0    ? std::ldexp(mantissa, -24)
                 : exponent == 31 ? (mantissa ? NAN : INFINITY)
                                  : std::ldexp(mantissa + 1024, exponent - 25);
  return (bits & 0x8000) ? -value : value;
}

// One component as a number; the cursor stands on it.
double Component(ByteCursor& in, uint32_t format) {
  switch (format) {
    case kByte:
      return static_cast<int8_t>(in.Uint8());
    case kUbyte:
      return in.Uint8();
    case kShort:
      return in.Int16();
    case kUshort:
      return in.Uint16();
    case kInt:
      return in.Int32();
    case kUint:
      return in.Uint32();
    case kHalf:
      return HalfValue(in.Uint16());
    case kFloat:
      return in.Float();
    default: {
      uint64_t bits = 0;
      for (int b = 0; b < 8; ++b) bits |= static_cast<uint64_t>(in.Uint8()) << (8 * b);
      double value;
      std::memcpy(&value, &bits, sizeof value);
      return value;
    }
  }
}

const char* ArrayName(uint32_t type) {
  switch (type) {
    case kPosition:
      return "positions";
    case kTexcoord:
      return "texture coordinates";
    case kBlendIndexes:
      return "blend indices";
    default:
      return "blend weights";
  }
}

}  // namespace

bool IsIqm(const uint8_t* data, size_t size) {
  return size >= kIqmMagicSize && std::memcmp(data, kIqmMagic, kIqmMagicSize) == 0;
}

bool ReadIqm(const uint8_t* data, size_t size, QuakeModel* model, std::string* error) {
  *model = QuakeModel();
  model->format = "IQM";
  ByteCursor in(data, size);
  auto failed = [&]() {
    *error = in.error();
    return false;
  };
  auto refuse = [&](const std::string& reason) {
    *error = reason;
    return false;
  };
  if (!in.Need(kHeaderSize, "the header")) return failed();
  if (!IsIqm(data, size))
    return refuse(
        "not an IQM file: the first sixteen bytes are not \"INTERQUAKEMODEL\" and a zero");
  in.Skip(kIqmMagicSize);
  Header h;
  for (uint32_t* field :
       {&h.version,         &h.file_size,    &h.flags,           &h.text_count,    &h.text_at,
        &h.mesh_count,      &h.meshes_at,    &h.array_count,     &h.vertex_count,  &h.arrays_at,
        &h.triangle_count,  &h.triangles_at, &h.adjacency_at,    &h.joint_count,   &h.joints_at,
        &h.pose_count,      &h.poses_at,     &h.animation_count, &h.animations_at, &h.frame_count,
        &h.frame_channels,  &h.frames_at,    &h.bounds_at,       &h.comment_count, &h.comments_at,
        &h.extension_count, &h.extensions_at})
    *field = in.Uint32();
  if (h.version != kVersion)
    return refuse("unsupported IQM version " + std::to_string(h.version) + " (expected 2)");
  if (h.file_size > size)
    return refuse("the header says the file has " + std::to_string(h.file_size) +
                  " bytes; it has " + std::to_string(size));
  if (h.file_size < size)
    model->notes.push_back(std::to_string(size - h.file_size) +
                           " bytes after the size the header states are ignored");

  // Names are offsets into the text.
  std::string text;
  if (!SeekSection(in, 0, h.text_at, h.text_count, 1, "the text")) return failed();
  text.assign(reinterpret_cast<const char*>(in.Here()), h.text_count);
  auto name_at = [&](uint32_t at) {
    if (at >= text.size()) return std::string();
    return std::string(text.c_str() + at, strnlen(text.c_str() + at, text.size() - at));
  };

  // The vertex arrays the import needs.
  if (!SeekSection(in, 0, h.arrays_at, h.array_count, kVertexArraySize, "the vertex arrays"))
    return failed();
  VertexArray arrays[6] = {};
  bool present[6] = {};
  for (uint32_t a = 0; a < h.array_count; ++a) {
    VertexArray array;
    in.Seek(static_cast<uint64_t>(h.arrays_at) + a * kVertexArraySize);
    array.type = in.Uint32();
    array.flags = in.Uint32();
    array.format = in.Uint32();
    array.components = in.Uint32();
    array.at = in.Uint32();
    if (array.type != kPosition && array.type != kTexcoord && array.type != kBlendIndexes &&
        array.type != kBlendWeights)
      continue;
    const std::string what = std::string("the vertex ") + ArrayName(array.type);
    const size_t bytes = ComponentBytes(array.format);
    if (bytes == 0)
      return refuse(what + " have a component format (" + std::to_string(array.format) +
                    ") that IQM does not define");
    const uint32_t least = array.type == kPosition ? 3 : array.type == kTexcoord ? 2 : 1;
    if (array.components < least || array.components > 16)
      return refuse(what + " have " + std::to_string(array.components) + " components a vertex");
    if (!SeekSection(in, 0, array.at, h.vertex_count, array.components * bytes, what))
      return failed();
    arrays[array.type] = array;
    present[array.type] = true;
  }
  if (h.mesh_count > 0 && !present[kPosition])
    return refuse("the file has meshes but no vertex positions");
  // Without positions the vertex count stands for nothing in the file.
  const uint32_t vertex_count = present[kPosition] ? h.vertex_count : 0;

  // Reads array a of every vertex, its first `wanted` components (0 beyond
  // the array's own).
  auto read_array = [&](uint32_t type, uint32_t wanted) {
    std::vector<double> values(static_cast<size_t>(vertex_count) * wanted, 0.0);
    if (!present[type]) return values;
    const VertexArray& array = arrays[type];
    const size_t bytes = ComponentBytes(array.format);
    in.Seek(array.at);
    for (size_t v = 0; v < vertex_count; ++v) {
      for (uint32_t c = 0; c < array.components; ++c) {
        const double value = Component(in, array.format);
        if (c < wanted) values[v * wanted + c] = value;
      }
    }
    (void)bytes;
    return values;
  };
  const std::vector<double> positions = read_array(kPosition, 3);
  const std::vector<double> texcoords = read_array(kTexcoord, 2);
  const bool skinned = present[kBlendIndexes] && present[kBlendWeights] && h.joint_count > 0;
  const uint32_t blends =
      skinned ? std::min<uint32_t>(
                    4, std::min(arrays[kBlendIndexes].components, arrays[kBlendWeights].components))
              : 0;
  const std::vector<double> indexes = read_array(kBlendIndexes, 4);
  const std::vector<double> weights = read_array(kBlendWeights, 4);
  for (size_t i = 0; i < positions.size(); ++i)
    if (!std::isfinite(positions[i]))
      return refuse("vertex " + std::to_string(i / 3) + "'s position is not a finite number");

  // Joints: the bind pose of each, from its parent's.
  if (!SeekSection(in, 0, h.joints_at, h.joint_count, kJointSize, "the joints")) return failed();
  std::vector<int32_t> parents(h.joint_count);
  std::vector<Affine> bind(h.joint_count), unbind(h.joint_count);
  for (uint32_t j = 0; j < h.joint_count; ++j) {
    in.Uint32();  // name
    parents[j] = in.Int32();
    double channels[kChannels];
    for (double& c : channels) c = in.Float();
    for (double c : channels)
      if (!std::isfinite(c)) return refuse("joint " + std::to_string(j) + "'s pose is not finite");
    if (parents[j] >= static_cast<int32_t>(j))
      return refuse("joint " + std::to_string(j) + "'s parent (" + std::to_string(parents[j]) +
                    ") does not come before it");
    bind[j] = FromChannels(channels);
    if (parents[j] >= 0) bind[j] = bind[static_cast<size_t>(parents[j])] * bind[j];
    if (!Invert(bind[j], &unbind[j]))
      return refuse("joint " + std::to_string(j) + "'s bind pose cannot be undone (a scale of 0)");
  }
  for (size_t v = 0; v < vertex_count && blends > 0; ++v)
    for (uint32_t k = 0; k < blends; ++k)
      if (weights[v * 4 + k] != 0 &&
          !(indexes[v * 4 + k] >= 0 && indexes[v * 4 + k] < h.joint_count))
        return refuse("vertex " + std::to_string(v) + " is bound to joint " +
                      std::to_string(static_cast<long long>(indexes[v * 4 + k])) +
                      ", outside the " + std::to_string(h.joint_count) + " joints");

  // Poses: which channels each frame stores, and how.
  const bool animated = h.frame_count > 0 && h.joint_count > 0;
  if (animated && h.pose_count != h.joint_count)
    return refuse(std::to_string(h.pose_count) + " poses for " + std::to_string(h.joint_count) +
                  " joints (a frame poses each joint)");
  struct Pose {
    uint32_t mask;
    double offset[kChannels], scale[kChannels];
  };
  std::vector<Pose> poses;
  if (animated) {
    if (!SeekSection(in, 0, h.poses_at, h.pose_count, kPoseSize, "the poses")) return failed();
    poses.resize(h.pose_count);
    uint64_t channels = 0;
    for (uint32_t p = 0; p < h.pose_count; ++p) {
      in.Int32();  // the parent, which is the joint's
      poses[p].mask = in.Uint32();
      for (double& value : poses[p].offset) value = in.Float();
      for (double& value : poses[p].scale) value = in.Float();
      for (int c = 0; c < kChannels; ++c) {
        if (!std::isfinite(poses[p].offset[c]) || !std::isfinite(poses[p].scale[c]))
          return refuse("pose " + std::to_string(p) + "'s channels are not finite");
        if (poses[p].mask & (1u << c)) ++channels;
      }
    }
    if (channels != h.frame_channels)
      return refuse("the poses store " + std::to_string(channels) +
                    " channels a frame; the header says " + std::to_string(h.frame_channels));
    if (!SeekSection(in, 0, h.frames_at, static_cast<uint64_t>(h.frame_count) * h.frame_channels, 2,
                     "the frames"))
      return failed();
  }
  // Frames that store no channel take no bytes, so their count alone is
  // bounded.
  if (h.frame_count > kMostFrames)
    return refuse(std::to_string(h.frame_count) + " frames are more than the import holds (" +
                  std::to_string(kMostFrames) + ")");
  model->frame_count = animated ? h.frame_count : 1;
  model->animation_frames = h.frame_count;

  // Animations: the clips, by name.
  if (!SeekSection(in, 0, h.animations_at, h.animation_count, kAnimationSize, "the animations"))
    return failed();
  model->frame_names.assign(model->frame_count, std::string());
  for (uint32_t a = 0; a < h.animation_count; ++a) {
    QuakeModelClip clip;
    clip.name = name_at(in.Uint32());
    if (clip.name.empty()) clip.name = "animation " + std::to_string(a);
    const uint32_t first = in.Uint32();
    const uint32_t count = in.Uint32();
    in.Float();   // frames a second: the import plays a frame a tenth of a second
    in.Uint32();  // flags
    if (!animated) continue;
    if (count == 0 || first >= model->frame_count || count > model->frame_count - first) {
      model->notes.push_back("animation " + clip.name + " (frames " + std::to_string(first) +
                             " to " + std::to_string(static_cast<uint64_t>(first) + count) +
                             ") lies outside the " + std::to_string(model->frame_count) +
                             " frames; it is left out");
      continue;
    }
    clip.first = first;
    clip.count = count;
    for (uint32_t k = 0; k < count; ++k)
      if (model->frame_names[first + k].empty())
        model->frame_names[first + k] = clip.name + std::to_string(k + 1);
    model->clips.push_back(clip);
  }
  for (size_t f = 0; f < model->frame_count; ++f)
    if (model->frame_names[f].empty())
      model->frame_names[f] = (animated ? "frame" : "base") + std::to_string(f + 1);

  // Meshes and their triangles.
  if (!SeekSection(in, 0, h.meshes_at, h.mesh_count, kMeshSize, "the meshes")) return failed();
  if (!SeekSection(in, 0, h.triangles_at, h.triangle_count, kTriangleSize, "the triangles"))
    return failed();
  struct Mesh {
    std::string name, material;
    uint32_t first_vertex, vertices, first_triangle, triangles;
  };
  std::vector<Mesh> meshes(h.mesh_count);
  uint64_t all_positions = 0;
  for (uint32_t k = 0; k < h.mesh_count; ++k) {
    Mesh& mesh = meshes[k];
    in.Seek(static_cast<uint64_t>(h.meshes_at) + k * kMeshSize);
    mesh.name = name_at(in.Uint32());
    mesh.material = name_at(in.Uint32());
    mesh.first_vertex = in.Uint32();
    mesh.vertices = in.Uint32();
    mesh.first_triangle = in.Uint32();
    mesh.triangles = in.Uint32();
    const std::string what = "mesh " + std::to_string(k) + " (" + mesh.name + ")";
    if (mesh.first_vertex > vertex_count || mesh.vertices > vertex_count - mesh.first_vertex)
      return refuse(what + "'s vertices run past the file's " + std::to_string(vertex_count));
    if (mesh.first_triangle > h.triangle_count ||
        mesh.triangles > h.triangle_count - mesh.first_triangle)
      return refuse(what + "'s triangles run past the file's " + std::to_string(h.triangle_count));
    all_positions += static_cast<uint64_t>(mesh.vertices) * model->frame_count;
  }
  if (all_positions > kMostPositions)
    return refuse(std::to_string(model->frame_count) + " frames of " +
                  std::to_string(h.vertex_count) + " vertices are more than the import holds");

  for (uint32_t k = 0; k < h.mesh_count; ++k) {
    const Mesh& mesh = meshes[k];
    QuakeSurface surface;
    surface.name = mesh.name.empty() ? "mesh " + std::to_string(k) : mesh.name;
    surface.texture = mesh.material;
    surface.vertex_count = mesh.vertices;
    in.Seek(static_cast<uint64_t>(h.triangles_at) +
            static_cast<uint64_t>(mesh.first_triangle) * kTriangleSize);
    surface.triangles.resize(mesh.triangles);
    for (uint32_t t = 0; t < mesh.triangles; ++t) {
      QuakeTriangle& triangle = surface.triangles[t];
      for (int c = 0; c < 3; ++c) {
        const uint32_t index = in.Uint32();
        if (index < mesh.first_vertex || index - mesh.first_vertex >= mesh.vertices)
          return refuse("mesh " + std::to_string(k) + " (" + mesh.name + "): triangle " +
                        std::to_string(t) + " uses vertex " + std::to_string(index) +
                        ", outside the mesh's vertices " + std::to_string(mesh.first_vertex) +
                        " to " +
                        std::to_string(static_cast<uint64_t>(mesh.first_vertex) + mesh.vertices));
        triangle.vertex[c] = triangle.texture_vertex[c] = index - mesh.first_vertex;
      }
    }
    // IQM's v runs down the picture; the host's up.
    surface.texture_vertices.reserve(mesh.vertices);
    for (uint32_t v = mesh.first_vertex; v < mesh.first_vertex + mesh.vertices; ++v)
      surface.texture_vertices.emplace_back(static_cast<float>(texcoords[v * 2]),
                                            static_cast<float>(1.0 - texcoords[v * 2 + 1]), 0.0f);
    model->surfaces.push_back(std::move(surface));
  }

  // Every frame's vertices: each joint's pose at the frame, from its
  // parent's, times the inverse of its bind pose, blended by the weights.
  std::vector<Affine> posed(h.joint_count), skin(h.joint_count);
  for (size_t f = 0; f < model->frame_count; ++f) {
    if (animated) {
      in.Seek(static_cast<uint64_t>(h.frames_at) + f * h.frame_channels * 2);
      for (uint32_t j = 0; j < h.joint_count; ++j) {
        double channels[kChannels];
        for (int c = 0; c < kChannels; ++c) {
          channels[c] = poses[j].offset[c];
          if (poses[j].mask & (1u << c)) channels[c] += in.Uint16() * poses[j].scale[c];
        }
        posed[j] = FromChannels(channels);
        if (parents[j] >= 0) posed[j] = posed[static_cast<size_t>(parents[j])] * posed[j];
        skin[j] = posed[j] * unbind[j];
      }
    }
    for (size_t k = 0; k < meshes.size(); ++k) {
      QuakeSurface& surface = model->surfaces[k];
      for (uint32_t v = meshes[k].first_vertex; v < meshes[k].first_vertex + meshes[k].vertices;
           ++v) {
        const std::array<double, 3> rest = {positions[v * 3], positions[v * 3 + 1],
                                            positions[v * 3 + 2]};
        std::array<double, 3> p = rest;
        double total = 0;
        for (uint32_t b = 0; b < blends; ++b) total += weights[v * 4 + b];
        if (animated && blends > 0 && total > 0) {
          Affine blended;
          blended.m[0][0] = blended.m[1][1] = blended.m[2][2] = 0;
          for (uint32_t b = 0; b < blends; ++b)
            if (weights[v * 4 + b] != 0)
              blended.Add(skin[static_cast<size_t>(indexes[v * 4 + b])],
                          weights[v * 4 + b] / total);
          p = blended.Apply(rest);
        }
        surface.positions.emplace_back(static_cast<float>(p[0]), static_cast<float>(p[1]),
                                       static_cast<float>(p[2]));
      }
    }
  }
  if (!in.ok()) return failed();
  return true;
}

}  // namespace hostapp
