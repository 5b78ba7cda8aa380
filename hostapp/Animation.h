#pragma once
// Evaluation of an imported scene at any host time: node animation (linear
// translation and scaling, spherical rotation, steps where two keys share a
// time), skinning, morph-target weights and vertex keyframes.

#include <memory>
#include <vector>

#include "host/Mesh.h"
#include "hostapp/ImportedScene.h"
#include "hostapp/Timeline.h"

namespace hostapp {

// A track's value at time t (seconds). Before the first key and after the
// last the track extrapolates as asked; between keys it interpolates
// linearly, or spherically for rotations. An empty track gives fallback.
Vec3 SampleVectorTrack(const std::vector<Key<Vec3>>& keys, double t, Extrapolation before,
                       Extrapolation after, const Vec3& fallback);
Quat SampleRotationTrack(const std::vector<Key<Quat>>& keys, double t, Extrapolation before,
                         Extrapolation after, const Quat& fallback);
// The weights of morph_targets targets at time t: linear between keys, held
// at the ends.
std::vector<double> SampleMorphWeights(const std::vector<MorphWeightKey>& keys, double t,
                                       size_t morph_targets);

// The scene's nodes and meshes at host times. Keeps the last pose it
// computed, so asking for several nodes at one time computes the pose once.
class SceneAnimator {
 public:
  SceneAnimator(std::shared_ptr<const ImportedScene> scene, Timeline timeline);

  const ImportedScene& Scene() const { return *scene_; }
  const Timeline& TimelineShown() const { return timeline_; }

  // Node i's transform relative to its parent at t, in scene space.
  Mat4 LocalAt(int node, host::HostTime t) const;
  // Node i's transform relative to the scene root's space at t (scene_to_host
  // not applied).
  Mat4 WorldAt(int node, host::HostTime t) const;
  // Node i's meshes at t as one triangle mesh in the node's own space. Face f's
  // material index is the position of its mesh's material among the node's
  // distinct materials (NodeMaterials). Texture vertices and faces are present
  // when any of the node's meshes has texture coordinates; faces of a mesh
  // without them use one extra texture vertex (0, 0, 0).
  void NodeMeshAt(int node, host::HostTime t, host::Mesh& mesh) const;
  // The distinct materials of node i's meshes, in the order first met.
  const std::vector<int>& NodeMaterials(int node) const;
  // The faces node i's mesh has (the same at every time).
  int NodeFaceCount(int node) const;

 private:
  struct Pose {
    bool valid = false;
    host::HostTime time = 0;
    std::vector<Mat4> local;
    std::vector<Mat4> world;
  };
  // What does not change with time: faces, texture vertices and faces.
  struct NodeGeometry {
    std::vector<int> materials;
    std::vector<host::MeshFace> faces;
    std::vector<host::Point3> texture_vertices;
    std::vector<host::TextureFace> texture_faces;
  };

  const Pose& PoseAt(host::HostTime t) const;
  Mat4 EvaluateLocal(int node, const Clip* clip, double seconds) const;
  // Appends mesh m's positions at t (in the node's space) to out.
  void AppendPositions(int node, int m, host::HostTime t, std::vector<host::Point3>& out) const;
  void BuildGeometry();

  std::shared_ptr<const ImportedScene> scene_;
  Timeline timeline_;
  std::vector<NodeGeometry> geometry_;
  // The channel animating node i in clip c: channel_of_[c][i], or -1.
  std::vector<std::vector<int>> channel_of_;
  mutable Pose pose_;
};

}  // namespace hostapp
