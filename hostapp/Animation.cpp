#include "hostapp/Animation.h"

#include <algorithm>
#include <cmath>

namespace hostapp {

namespace {

Vec3 ToVec3(const host::Point3& p) { return {p.x, p.y, p.z}; }
host::Point3 ToPoint(const Vec3& v) {
  return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

// Time t moved into [first, last] by whole periods of the span.
double Wrap(double t, double first, double last) {
  const double span = last - first;
  if (!(span > 0.0)) return first;
  double offset = std::fmod(t - first, span);
  if (offset < 0.0) offset += span;
  return first + offset;
}

// The shared walk of every track: where t falls among the keys, and the
// factor between the two keys around it. interpolate(a, b, f) blends two values.
template <typename T, typename Interpolate>
T SampleTrack(const std::vector<Key<T>>& keys, double t, Extrapolation before,
              Extrapolation after, const T& fallback, Interpolate interpolate) {
  if (keys.empty()) return fallback;
  const size_t n = keys.size();
  if (n == 1) return keys.front().value;
  const double first = keys.front().time;
  const double last = keys.back().time;
  if (t < first || t > last) {
    const Extrapolation rule = t < first ? before : after;
    if (rule == Extrapolation::kRepeat) {
      t = Wrap(t, first, last);
    } else {
      const Key<T>& a = t < first ? keys[0] : keys[n - 2];
      const Key<T>& b = t < first ? keys[1] : keys[n - 1];
      if (rule == Extrapolation::kHold || !(b.time > a.time)) {
        return t < first ? keys.front().value : keys.back().value;
      }
      return interpolate(a.value, b.value, (t - a.time) / (b.time - a.time));
    }
  }
  // The last key at or before t: of two keys with one time the later one
  // wins, which makes a step.
  const auto after_t = std::upper_bound(keys.begin(), keys.end(), t,
                                        [](double time, const Key<T>& key) { return time < key.time; });
  const size_t i = after_t == keys.begin() ? 0 : static_cast<size_t>(after_t - keys.begin()) - 1;
  if (i + 1 >= n) return keys[i].value;
  const Key<T>& a = keys[i];
  const Key<T>& b = keys[i + 1];
  return interpolate(a.value, b.value, (t - a.time) / (b.time - a.time));
}

}  // namespace

Vec3 SampleVectorTrack(const std::vector<Key<Vec3>>& keys, double t, Extrapolation before,
                       Extrapolation after, const Vec3& fallback) {
  return SampleTrack(keys, t, before, after, fallback,
                     [](const Vec3& a, const Vec3& b, double f) { return Lerp(a, b, f); });
}

Quat SampleRotationTrack(const std::vector<Key<Quat>>& keys, double t, Extrapolation before,
                         Extrapolation after, const Quat& fallback) {
  return SampleTrack(keys, t, before, after, fallback,
                     [](const Quat& a, const Quat& b, double f) { return Slerp(a, b, f); });
}

std::vector<double> SampleMorphWeights(const std::vector<MorphWeightKey>& keys, double t,
                                       size_t morph_targets) {
  std::vector<double> weights(morph_targets, 0.0);
  if (keys.empty()) return weights;
  auto weight = [morph_targets](const MorphWeightKey& key, size_t i) {
    return i < key.weights.size() && i < morph_targets ? key.weights[i] : 0.0;
  };
  size_t i = 0;
  while (i + 1 < keys.size() && keys[i + 1].time <= t) ++i;
  const MorphWeightKey& a = keys[i];
  if (t <= a.time || i + 1 >= keys.size()) {
    for (size_t k = 0; k < morph_targets; ++k) weights[k] = weight(a, k);
    return weights;
  }
  const MorphWeightKey& b = keys[i + 1];
  const double f = (t - a.time) / (b.time - a.time);
  for (size_t k = 0; k < morph_targets; ++k) {
    weights[k] = weight(a, k) + (weight(b, k) - weight(a, k)) * f;
  }
  return weights;
}

SceneAnimator::SceneAnimator(std::shared_ptr<const ImportedScene> scene, Timeline timeline)
    : scene_(std::move(scene)), timeline_(std::move(timeline)) {
  const size_t node_count = scene_->nodes.size();
  for (const Clip& clip : scene_->clips) {
    std::vector<int> channels(node_count, -1);
    for (size_t c = 0; c < clip.node_channels.size(); ++c) {
      const int node = clip.node_channels[c].node;
      if (node >= 0 && static_cast<size_t>(node) < node_count && channels[static_cast<size_t>(node)] < 0) {
        channels[static_cast<size_t>(node)] = static_cast<int>(c);
      }
    }
    channel_of_.push_back(std::move(channels));
  }
  BuildGeometry();
}

void SceneAnimator::BuildGeometry() {
  geometry_.resize(scene_->nodes.size());
  for (size_t n = 0; n < scene_->nodes.size(); ++n) {
    NodeGeometry& geometry = geometry_[n];
    const ImportedNode& node = scene_->nodes[n];
    bool any_uvs = false;
    for (int m : node.meshes) {
      const ImportedMesh& mesh = scene_->meshes[static_cast<size_t>(m)];
      if (std::find(geometry.materials.begin(), geometry.materials.end(), mesh.material) ==
          geometry.materials.end()) {
        geometry.materials.push_back(mesh.material);
      }
      any_uvs = any_uvs || !mesh.uvs.empty();
    }

    uint32_t vertex_offset = 0;
    int64_t plain_texture_vertex = -1;
    for (int m : node.meshes) {
      const ImportedMesh& mesh = scene_->meshes[static_cast<size_t>(m)];
      const auto found = std::find(geometry.materials.begin(), geometry.materials.end(), mesh.material);
      const uint16_t material_index = static_cast<uint16_t>(found - geometry.materials.begin());
      const ImportedMaterial* material =
          mesh.material >= 0 && static_cast<size_t>(mesh.material) < scene_->materials.size()
              ? &scene_->materials[static_cast<size_t>(mesh.material)]
              : nullptr;
      for (const std::array<uint32_t, 3>& triangle : mesh.triangles) {
        host::MeshFace face;
        for (int c = 0; c < 3; ++c) face.v[c] = vertex_offset + triangle[static_cast<size_t>(c)];
        face.material_index = material_index;
        geometry.faces.push_back(face);
        if (!any_uvs) continue;

        host::TextureFace texture_face;
        if (mesh.uvs.empty()) {
          if (plain_texture_vertex < 0) {
            plain_texture_vertex = static_cast<int64_t>(geometry.texture_vertices.size());
            geometry.texture_vertices.push_back({0.0f, 0.0f, 0.0f});
          }
          for (uint32_t& t : texture_face.t) t = static_cast<uint32_t>(plain_texture_vertex);
          geometry.texture_faces.push_back(texture_face);
          continue;
        }
        // Each face gets corners of its own, moved by whole repeats of a
        // repeating texture so that a face lying within one repeat lands in 0..1:
        // the exporter limits coordinates to 0..1 rather than repeating them.
        host::Point3 corners[3];
        for (int c = 0; c < 3; ++c) corners[c] = mesh.uvs[triangle[static_cast<size_t>(c)]];
        for (int axis = 0; axis < 2; ++axis) {
          if (material && !(axis == 0 ? material->wrap_u : material->wrap_v)) continue;
          const double low = std::min({corners[0][axis], corners[1][axis], corners[2][axis]});
          const double high = std::max({corners[0][axis], corners[1][axis], corners[2][axis]});
          const double repeat = std::floor(low);
          if (!std::isfinite(repeat) || repeat == 0.0 || high - repeat > 1.0) continue;
          for (host::Point3& corner : corners) {
            corner[axis] = static_cast<float>(corner[axis] - repeat);
          }
        }
        for (int c = 0; c < 3; ++c) {
          texture_face.t[c] = static_cast<uint32_t>(geometry.texture_vertices.size());
          geometry.texture_vertices.push_back(corners[c]);
        }
        geometry.texture_faces.push_back(texture_face);
      }
      vertex_offset += static_cast<uint32_t>(mesh.positions.size());
    }
  }
}

Mat4 SceneAnimator::EvaluateLocal(int node, const Clip* clip, double seconds) const {
  const ImportedNode& own = scene_->nodes[static_cast<size_t>(node)];
  if (!clip) return own.local;
  const size_t clip_index = static_cast<size_t>(clip - scene_->clips.data());
  const int channel_index = channel_of_[clip_index][static_cast<size_t>(node)];
  if (channel_index < 0) return own.local;
  const NodeChannel& channel = clip->node_channels[static_cast<size_t>(channel_index)];
  const Vec3 translation = SampleVectorTrack(channel.positions, seconds, channel.before,
                                             channel.after, own.translation);
  const Quat rotation = SampleRotationTrack(channel.rotations, seconds, channel.before,
                                            channel.after, own.rotation);
  const Vec3 scaling =
      SampleVectorTrack(channel.scalings, seconds, channel.before, channel.after, own.scaling);
  return Compose(translation, rotation, scaling);
}

const SceneAnimator::Pose& SceneAnimator::PoseAt(host::HostTime t) const {
  if (pose_.valid && pose_.time == t) return pose_;
  int clip_index = -1;
  double seconds = 0.0;
  const Clip* clip = nullptr;
  if (ClipTimeAt(*scene_, timeline_, t, &clip_index, &seconds)) {
    clip = &scene_->clips[static_cast<size_t>(clip_index)];
  }
  const size_t count = scene_->nodes.size();
  pose_.local.resize(count);
  pose_.world.resize(count);
  for (size_t i = 0; i < count; ++i) {
    pose_.local[i] = EvaluateLocal(static_cast<int>(i), clip, seconds);
    const int parent = scene_->nodes[i].parent;
    // Parents come before their children, so the parent's world is ready.
    pose_.world[i] = parent >= 0 ? pose_.world[static_cast<size_t>(parent)] * pose_.local[i]
                                 : pose_.local[i];
  }
  pose_.valid = true;
  pose_.time = t;
  return pose_;
}

Mat4 SceneAnimator::LocalAt(int node, host::HostTime t) const {
  return PoseAt(t).local[static_cast<size_t>(node)];
}

Mat4 SceneAnimator::WorldAt(int node, host::HostTime t) const {
  return PoseAt(t).world[static_cast<size_t>(node)];
}

const std::vector<int>& SceneAnimator::NodeMaterials(int node) const {
  return geometry_[static_cast<size_t>(node)].materials;
}

int SceneAnimator::NodeFaceCount(int node) const {
  return static_cast<int>(geometry_[static_cast<size_t>(node)].faces.size());
}

void SceneAnimator::AppendPositions(int node, int m, host::HostTime t,
                                    std::vector<host::Point3>& out) const {
  const ImportedMesh& mesh = scene_->meshes[static_cast<size_t>(m)];
  const size_t count = mesh.positions.size();
  int clip_index = -1;
  double seconds = 0.0;
  const Clip* clip = nullptr;
  if (ClipTimeAt(*scene_, timeline_, t, &clip_index, &seconds)) {
    clip = &scene_->clips[static_cast<size_t>(clip_index)];
  }

  std::vector<Vec3> positions(count);
  if (clip && clip->vertex_keyframes && mesh.keyframes.size() > 1) {
    // Keyframes stand kKeyframeInterval apart; positions in between are linear.
    const double last = static_cast<double>(mesh.keyframes.size() - 1);
    double k = (seconds - clip->start) / kKeyframeInterval;
    if (!(k >= 0.0)) k = 0.0;
    if (k > last) k = last;
    const size_t i = static_cast<size_t>(std::floor(k));
    const size_t j = std::min(i + 1, mesh.keyframes.size() - 1);
    const double f = k - static_cast<double>(i);
    for (size_t v = 0; v < count; ++v) {
      positions[v] = Lerp(ToVec3(mesh.keyframes[i][v]), ToVec3(mesh.keyframes[j][v]), f);
    }
  } else {
    for (size_t v = 0; v < count; ++v) positions[v] = ToVec3(mesh.positions[v]);
  }

  if (!mesh.morph_targets.empty()) {
    std::vector<double> weights(mesh.morph_targets.size());
    for (size_t k = 0; k < weights.size(); ++k) weights[k] = mesh.morph_targets[k].default_weight;
    if (clip) {
      for (const MorphChannel& channel : clip->morph_channels) {
        if (std::find(channel.meshes.begin(), channel.meshes.end(), m) != channel.meshes.end()) {
          weights = SampleMorphWeights(channel.keys, seconds, mesh.morph_targets.size());
          break;
        }
      }
    }
    // Each target pulls the base shape toward itself by its weight.
    const std::vector<Vec3> base = positions;
    for (size_t k = 0; k < weights.size(); ++k) {
      const double w = weights[k];
      const std::vector<host::Point3>& target = mesh.morph_targets[k].positions;
      if (w == 0.0 || target.size() != count) continue;
      for (size_t v = 0; v < count; ++v) positions[v] = positions[v] + (ToVec3(target[v]) - base[v]) * w;
    }
  }

  if (!mesh.bones.empty() && mesh.influence_start.size() == count + 1) {
    // A bone carries a vertex from mesh space into the bone's space of the
    // bind pose (offset), then with the bone's current transform into the
    // scene, and back into the node's space, where the host places it.
    const Pose& pose = PoseAt(t);
    const Mat4 to_node = Inverse(pose.world[static_cast<size_t>(node)]);
    std::vector<Mat4> skinning(mesh.bones.size());
    for (size_t b = 0; b < mesh.bones.size(); ++b) {
      const int bone_node = mesh.bones[b].node;
      const Mat4 bone_world = bone_node >= 0 ? pose.world[static_cast<size_t>(bone_node)] : Mat4();
      skinning[b] = to_node * bone_world * mesh.bones[b].offset;
    }
    for (size_t v = 0; v < count; ++v) {
      const uint32_t first = mesh.influence_start[v];
      const uint32_t end = mesh.influence_start[v + 1];
      if (first == end) continue;
      Vec3 blended;
      for (uint32_t i = first; i < end; ++i) {
        const Influence& influence = mesh.influences[i];
        blended = blended + TransformPoint(skinning[influence.bone], positions[v]) * influence.weight;
      }
      positions[v] = blended;
    }
  }

  for (const Vec3& p : positions) out.push_back(ToPoint(p));
}

void SceneAnimator::NodeMeshAt(int node, host::HostTime t, host::Mesh& mesh) const {
  const NodeGeometry& geometry = geometry_[static_cast<size_t>(node)];
  mesh.vertices.clear();
  for (int m : scene_->nodes[static_cast<size_t>(node)].meshes) AppendPositions(node, m, t, mesh.vertices);
  mesh.faces = geometry.faces;
  mesh.texture_vertices = geometry.texture_vertices;
  mesh.texture_faces = geometry.texture_faces;
  mesh.face_normals.clear();
}

}  // namespace hostapp
