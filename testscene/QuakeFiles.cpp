#include "testscene/QuakeFiles.h"

#include <cstring>
#include <fstream>
#include <stdexcept>

namespace testscene {

namespace {

// Little-endian fields appended to a byte vector, or put at an offset.
class Bytes {
 public:
  size_t size() const { return bytes_.size(); }
  std::vector<uint8_t>& bytes() { return bytes_; }

  void U8(uint8_t value) { bytes_.push_back(value); }
  void U16(uint16_t value) {
    U8(static_cast<uint8_t>(value));
    U8(static_cast<uint8_t>(value >> 8));
  }
  void I16(int16_t value) { U16(static_cast<uint16_t>(value)); }
  void I32(int32_t value) {
    const uint32_t bits = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) U8(static_cast<uint8_t>(bits >> shift));
  }
  void F32(float value) {
    int32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    I32(bits);
  }
  // text in a zero-padded field of size bytes (cut to fit).
  void Text(const std::string& text, size_t size) {
    for (size_t i = 0; i < size; ++i) U8(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
  }
  void U32(uint32_t value) { I32(static_cast<int32_t>(value)); }
  void PutI32(size_t at, int32_t value) {
    const uint32_t bits = static_cast<uint32_t>(value);
    for (int k = 0; k < 4; ++k) bytes_.at(at + k) = static_cast<uint8_t>(bits >> (8 * k));
  }

 private:
  std::vector<uint8_t> bytes_;
};

int32_t Count(size_t n) { return static_cast<int32_t>(n); }

}  // namespace

std::vector<uint8_t> IqmBytes(const IqmDescription& iqm) {
  // The text: a zero first, so that offset 0 is the empty name.
  std::string text(1, '\0');
  auto name = [&text](const std::string& n) {
    if (n.empty()) return uint32_t{0};
    const uint32_t at = static_cast<uint32_t>(text.size());
    text += n;
    text += '\0';
    return at;
  };
  std::vector<std::array<uint32_t, 2>> mesh_names;
  for (const IqmMesh& mesh : iqm.meshes) mesh_names.push_back({name(mesh.name), name(mesh.material)});
  std::vector<uint32_t> joint_names, animation_names;
  for (const IqmJoint& joint : iqm.joints) joint_names.push_back(name(joint.name));
  for (const IqmAnimation& animation : iqm.animations) animation_names.push_back(name(animation.name));

  const uint32_t vertices = static_cast<uint32_t>(iqm.positions.size());
  struct Array {
    uint32_t type, format, components, bytes;
  };
  std::vector<Array> arrays = {{0, 7, 3, 12}};
  if (!iqm.texture_coordinates.empty()) arrays.push_back({1, 7, 2, 8});
  if (!iqm.blend_indexes.empty()) arrays.push_back({4, 1, 4, 4});
  if (!iqm.blend_weights.empty()) arrays.push_back({5, 1, 4, 4});
  uint32_t channels = 0;
  for (const IqmPose& pose : iqm.poses)
    for (int c = 0; c < 10; ++c) channels += (pose.mask >> c) & 1;

  const uint32_t text_at = 124;
  const uint32_t meshes_at = text_at + static_cast<uint32_t>(text.size());
  const uint32_t arrays_at = meshes_at + 24 * static_cast<uint32_t>(iqm.meshes.size());
  uint32_t data_at = arrays_at + 20 * static_cast<uint32_t>(arrays.size());
  std::vector<uint32_t> array_at;
  for (const Array& array : arrays) {
    array_at.push_back(data_at);
    data_at += array.bytes * vertices;
  }
  const uint32_t triangles_at = data_at;
  const uint32_t joints_at = triangles_at + 12 * static_cast<uint32_t>(iqm.triangles.size());
  const uint32_t poses_at = joints_at + 48 * static_cast<uint32_t>(iqm.joints.size());
  const uint32_t animations_at = poses_at + 88 * static_cast<uint32_t>(iqm.poses.size());
  const uint32_t frames_at = animations_at + 20 * static_cast<uint32_t>(iqm.animations.size());
  uint32_t end_at = frames_at;
  for (const std::vector<uint16_t>& frame : iqm.frames) end_at += 2 * static_cast<uint32_t>(frame.size());

  Bytes out;
  out.Text("INTERQUAKEMODEL", 16);
  out.U32(iqm.version);
  out.U32(iqm.file_size < 0 ? end_at : static_cast<uint32_t>(iqm.file_size));
  out.U32(0);  // flags
  for (uint32_t value :
       {static_cast<uint32_t>(text.size()), text_at, static_cast<uint32_t>(iqm.meshes.size()),
        meshes_at, static_cast<uint32_t>(arrays.size()), vertices, arrays_at,
        static_cast<uint32_t>(iqm.triangles.size()), triangles_at, uint32_t{0},
        static_cast<uint32_t>(iqm.joints.size()), joints_at,
        static_cast<uint32_t>(iqm.poses.size()), poses_at,
        static_cast<uint32_t>(iqm.animations.size()), animations_at,
        static_cast<uint32_t>(iqm.frames.size()), channels, frames_at, uint32_t{0}, uint32_t{0},
        uint32_t{0}, uint32_t{0}, uint32_t{0}})
    out.U32(value);
  for (char c : text) out.U8(static_cast<uint8_t>(c));
  for (size_t m = 0; m < iqm.meshes.size(); ++m) {
    const IqmMesh& mesh = iqm.meshes[m];
    for (uint32_t value : {mesh_names[m][0], mesh_names[m][1], mesh.first_vertex,
                           mesh.vertex_count, mesh.first_triangle, mesh.triangle_count})
      out.U32(value);
  }
  for (size_t a = 0; a < arrays.size(); ++a)
    for (uint32_t value : {arrays[a].type, uint32_t{0}, arrays[a].format, arrays[a].components,
                           array_at[a]})
      out.U32(value);
  for (const Array& array : arrays) {
    for (uint32_t v = 0; v < vertices; ++v) {
      if (array.type == 0)
        for (float value : iqm.positions[v]) out.F32(value);
      if (array.type == 1)
        for (float value : iqm.texture_coordinates.at(v)) out.F32(value);
      if (array.type == 4)
        for (uint8_t value : iqm.blend_indexes.at(v)) out.U8(value);
      if (array.type == 5)
        for (uint8_t value : iqm.blend_weights.at(v)) out.U8(value);
    }
  }
  for (const auto& triangle : iqm.triangles)
    for (uint32_t index : triangle) out.U32(index);
  for (size_t j = 0; j < iqm.joints.size(); ++j) {
    const IqmJoint& joint = iqm.joints[j];
    out.U32(joint_names[j]);
    out.I32(joint.parent);
    for (float value : joint.translate) out.F32(value);
    for (float value : joint.rotate) out.F32(value);
    for (float value : joint.scale) out.F32(value);
  }
  for (const IqmPose& pose : iqm.poses) {
    out.I32(pose.parent);
    out.U32(pose.mask);
    for (float value : pose.offset) out.F32(value);
    for (float value : pose.scale) out.F32(value);
  }
  for (size_t a = 0; a < iqm.animations.size(); ++a) {
    const IqmAnimation& animation = iqm.animations[a];
    out.U32(animation_names[a]);
    out.U32(animation.first_frame);
    out.U32(animation.frame_count);
    out.F32(animation.frame_rate);
    out.U32(animation.flags);
  }
  for (const std::vector<uint16_t>& frame : iqm.frames)
    for (uint16_t step : frame) out.U16(step);
  return out.bytes();
}

std::vector<uint8_t> Md2Bytes(const Md2Description& md2) {
  const size_t vertices = md2.frames.empty() ? 0 : md2.frames.front().vertices.size();
  const int32_t frame_size = Count(40 + 4 * vertices);
  const int32_t skins_at = 68;
  const int32_t coordinates_at = skins_at + Count(64 * md2.skins.size());
  const int32_t triangles_at = coordinates_at + Count(4 * md2.texture_coordinates.size());
  // One GL command, the 0 that ends the list, before the frames.
  const int32_t commands_at = triangles_at + Count(12 * md2.triangles.size());
  const int32_t frames_at = commands_at + 4;
  const int32_t end_at = frames_at + frame_size * Count(md2.frames.size());
  Bytes out;
  out.Text("IDP2", 4);
  for (int32_t value : {8, md2.skin_width, md2.skin_height, frame_size, Count(md2.skins.size()),
                        Count(vertices), Count(md2.texture_coordinates.size()),
                        Count(md2.triangles.size()), 1, Count(md2.frames.size()), skins_at,
                        coordinates_at, triangles_at, frames_at, commands_at, end_at})
    out.I32(value);
  for (const std::string& skin : md2.skins) out.Text(skin, 64);
  for (const auto& st : md2.texture_coordinates) {
    out.I16(st[0]);
    out.I16(st[1]);
  }
  for (const auto& triangle : md2.triangles)
    for (uint16_t index : triangle) out.U16(index);
  out.I32(0);
  for (const Md2Frame& frame : md2.frames) {
    for (float value : frame.scale) out.F32(value);
    for (float value : frame.translate) out.F32(value);
    out.Text(frame.name, 16);
    for (const auto& v : frame.vertices) {
      for (uint8_t c : v) out.U8(c);
      out.U8(0);
    }
  }
  return std::move(out.bytes());
}

Md3Tag StillTag(const std::string& name, size_t frames, std::array<float, 12> pose) {
  Md3Tag tag;
  tag.name = name;
  tag.frames.assign(frames, pose);
  return tag;
}

std::vector<uint8_t> Md3Bytes(const Md3Description& md3) {
  const size_t frames = md3.frame_names.size();
  const int32_t frames_at = 108;
  const int32_t tags_at = frames_at + Count(56 * frames);
  const int32_t surfaces_at = tags_at + Count(112 * frames * md3.tags.size());
  Bytes out;
  out.Text("IDP3", 4);
  out.I32(15);
  out.Text(md3.name, 64);
  for (int32_t value : {0, Count(frames), Count(md3.tags.size()), Count(md3.surfaces.size()), 0,
                        frames_at, tags_at, surfaces_at, 0})
    out.I32(value);
  for (const std::string& name : md3.frame_names) {
    for (int i = 0; i < 10; ++i) out.F32(0.0f);  // bounds, origin, radius
    out.Text(name, 16);
  }
  for (size_t f = 0; f < frames; ++f) {
    for (const Md3Tag& tag : md3.tags) {
      out.Text(tag.name, 64);
      for (float value : tag.frames.at(f)) out.F32(value);
    }
  }
  for (const Md3Surface& surface : md3.surfaces) {
    const size_t start = out.size();
    const size_t vertices = surface.texture_coordinates.size();
    const int32_t triangles_at = 108;
    const int32_t shaders_at = triangles_at + Count(12 * surface.triangles.size());
    const int32_t coordinates_at = shaders_at + Count(68 * surface.shaders.size());
    const int32_t vertices_at = coordinates_at + Count(8 * vertices);
    const int32_t end_at = vertices_at + Count(8 * vertices * surface.frames.size());
    out.Text("IDP3", 4);
    out.Text(surface.name, 64);
    for (int32_t value : {0, Count(surface.frames.size()), Count(surface.shaders.size()),
                          Count(vertices), Count(surface.triangles.size()), triangles_at,
                          shaders_at, coordinates_at, vertices_at, end_at})
      out.I32(value);
    for (const auto& triangle : surface.triangles)
      for (int32_t index : triangle) out.I32(index);
    for (size_t s = 0; s < surface.shaders.size(); ++s) {
      out.Text(surface.shaders[s], 64);
      out.I32(Count(s));
    }
    for (const auto& st : surface.texture_coordinates) {
      out.F32(st[0]);
      out.F32(st[1]);
    }
    for (const auto& frame : surface.frames) {
      if (frame.size() != vertices) throw std::invalid_argument("a frame of the wrong size");
      for (const auto& v : frame) {
        for (int16_t c : v) out.I16(c);
        out.I16(0);
      }
    }
    if (out.size() - start != static_cast<size_t>(end_at))
      throw std::logic_error("surface size miscounted");
  }
  out.PutI32(104, Count(out.size()));
  return std::move(out.bytes());
}

std::vector<uint8_t> MdlBytes(const MdlDescription& mdl) {
  Bytes out;
  out.Text("IDPO", 4);
  out.I32(6);
  for (float value : mdl.scale) out.F32(value);
  for (float value : mdl.origin) out.F32(value);
  out.F32(10.0f);                             // bounding radius
  for (int i = 0; i < 3; ++i) out.F32(0.0f);  // eye position
  const int32_t vertices =
      mdl.vertex_count >= 0 ? mdl.vertex_count : Count(mdl.skin_vertices.size());
  for (int32_t value : {Count(mdl.skins.size()), mdl.skin_width, mdl.skin_height, vertices,
                        Count(mdl.triangles.size()), Count(mdl.frames.size()), 0, 0})
    out.I32(value);
  out.F32(1.0f);  // size
  for (const MdlSkin& skin : mdl.skins) {
    out.I32(skin.group ? 1 : 0);
    if (skin.group) {
      out.I32(Count(skin.pictures.size()));
      for (size_t i = 0; i < skin.pictures.size(); ++i) out.F32(0.1f * static_cast<float>(i + 1));
    }
    for (const auto& picture : skin.pictures)
      for (uint8_t index : picture) out.U8(index);
  }
  for (const auto& sv : mdl.skin_vertices)
    for (int32_t value : sv) out.I32(value);
  for (const auto& triangle : mdl.triangles)
    for (int32_t value : triangle) out.I32(value);
  auto pose = [&](const MdlFrame& frame) {
    for (int i = 0; i < 2; ++i)
      for (int c = 0; c < 4; ++c) out.U8(i == 1 && c < 3 ? 255 : 0);  // box
    out.Text(frame.name, 16);
    for (const auto& v : frame.vertices)
      for (uint8_t c : v) out.U8(c);
  };
  for (const MdlFrameRecord& record : mdl.frames) {
    out.I32(record.group ? 1 : 0);
    if (record.group) {
      out.I32(Count(record.poses.size()));
      for (int i = 0; i < 2; ++i)
        for (int c = 0; c < 4; ++c) out.U8(i == 1 && c < 3 ? 255 : 0);
      for (size_t i = 0; i < record.poses.size(); ++i)
        out.F32(i < record.intervals.size() ? record.intervals[i]
                                            : 0.1f * static_cast<float>(i + 1));
    }
    for (const MdlFrame& frame : record.poses) pose(frame);
  }
  for (uint8_t value : mdl.trailing) out.U8(value);
  return std::move(out.bytes());
}

namespace {

// One triangle whose vertex 0 stands at first in each frame.
Md3Surface Triangle(const std::string& name, const std::vector<std::array<int16_t, 3>>& firsts,
                    std::array<int16_t, 3> second, std::array<int16_t, 3> third) {
  Md3Surface surface;
  surface.name = name;
  surface.shaders = {"models/players/small/" + name + ".tga"};
  surface.triangles = {{0, 1, 2}};
  surface.texture_coordinates = {{0.0f, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}};
  for (const auto& first : firsts) {
    std::vector<std::array<int16_t, 3>> frame = {first, first, first};
    for (int axis = 0; axis < 3; ++axis) {
      frame[1][axis] = static_cast<int16_t>(first[axis] + second[axis]);
      frame[2][axis] = static_cast<int16_t>(first[axis] + third[axis]);
    }
    surface.frames.push_back(frame);
  }
  return surface;
}

}  // namespace

PlayerFiles SmallPlayer() {
  constexpr int16_t kUnit = 64;
  PlayerFiles player;
  std::vector<std::array<int16_t, 3>> firsts;
  Md3Tag tag_torso;
  tag_torso.name = "tag_torso";
  for (int16_t f = 0; f < 19; ++f) {
    player.lower.frame_names.push_back("legs" + std::to_string(f));
    firsts.push_back({static_cast<int16_t>(f * kUnit), 0, 0});
    const float z = 20.0f + f;
    tag_torso.frames.push_back(f == 7 ? std::array<float, 12>{0, 0, z, 0, 1, 0, -1, 0, 0, 0, 0, 1}
                                      : std::array<float, 12>{0, 0, z, 1, 0, 0, 0, 1, 0, 0, 0, 1});
  }
  player.lower.name = "lower";
  player.lower.tags = {tag_torso};
  player.lower.surfaces = {Triangle("l_legs", firsts, {0, 0, kUnit}, {0, kUnit, 0})};

  firsts.clear();
  Md3Tag tag_head;
  tag_head.name = "tag_head";
  for (int16_t f = 0; f < 12; ++f) {
    player.upper.frame_names.push_back("torso" + std::to_string(f));
    firsts.push_back({0, static_cast<int16_t>(f * kUnit), 0});
    tag_head.frames.push_back({0, 0, 5.0f + f, 1, 0, 0, 0, 1, 0, 0, 0, 1});
  }
  player.upper.name = "upper";
  player.upper.tags = {tag_head, StillTag("tag_weapon", 12, {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1})};
  player.upper.surfaces = {Triangle("u_torso", firsts, {0, 0, kUnit}, {0, kUnit, 0})};

  player.head.name = "head";
  player.head.frame_names = {"head"};
  player.head.tags = {StillTag("tag_head", 1, {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1})};
  player.head.surfaces = {Triangle("h_head", {{kUnit, 0, 0}}, {0, kUnit, 0}, {0, 0, kUnit})};

  player.animation_cfg =
      "// animation config file\n"
      "sex m\n"
      "headoffset 0 0 0\n"
      "footsteps boot\n"
      "\n"
      "// first frame, num frames, looping frames, frames per second\n"
      "0 2 0 20 // BOTH_DEATH1\n1 1 0 20\n2 1 0 20\n2 1 0 20\n3 1 0 20\n3 1 0 20\n"
      "4 2 0 15 // TORSO_GESTURE\n6 1 0 15\n7 1 0 15\n8 1 0 15\n9 1 0 15\n"
      "10 1 0 15 // TORSO_STAND\n11 1 0 15\n"
      "12 2 2 20 // LEGS_WALKCR\n14 1 1 20\n15 2 2 20 // LEGS_RUN\n17 1 1 20\n18 1 1 20\n"
      "19 1 0 20\n20 1 0 20\n21 1 0 20\n22 1 0 20\n"
      "23 2 2 15 // LEGS_IDLE\n25 1 1 15\n26 1 1 15 // LEGS_TURN\n";
  return player;
}

void WritePlayer(const std::string& folder, const PlayerFiles& player) {
  WriteBytes(folder + "/lower.md3", Md3Bytes(player.lower));
  WriteBytes(folder + "/upper.md3", Md3Bytes(player.upper));
  WriteBytes(folder + "/head.md3", Md3Bytes(player.head));
  if (!player.animation_cfg.empty()) WriteText(folder + "/animation.cfg", player.animation_cfg);
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace testscene
