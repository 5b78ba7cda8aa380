#pragma once
// The imported file as the stand-in scene's callbacks evaluate it at any time:
// node animation along the clips laid out on the timeline, morph targets,
// skinning and the vertex keyframes of MDC files.

#include <assimp/anim.h>
#include <assimp/mesh.h>
#include <assimp/scene.h>

#include <assimp/Importer.hpp>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/Mesh.h"
#include "host/Timing.h"
#include "hostapp/scene/StandInScene.h"

namespace hostapp {

// MDC keyframes are a tenth of a second apart.
constexpr double kKeyframeSeconds = 0.1;
// Clips that give no rate of their own run at 25 ticks a second.
constexpr double kDefaultTicksPerSecond = 25.0;

// Everything the scene's callbacks need to evaluate the imported file at any
// time: the Assimp scenes (one per keyframe for MDC files), the node
// order, the clips laid out on the timeline, and the node transforms of the
// last time asked for.
class ImportedAnimation {
 public:
  struct Node {
    const aiNode* source = nullptr;
    int parent = -1;
  };
  struct Clip {
    const aiAnimation* animation = nullptr;
    HostTime start = 0;  // host ticks at which the clip's first key plays
    HostTime end = 0;
    double first_key = 0.0;  // in the clip's own ticks
    double ticks_per_second = kDefaultTicksPerSecond;
    std::unordered_map<std::string, const aiNodeAnim*> channels;
    std::unordered_map<std::string, const aiMeshMorphAnim*> morphs;
    std::map<std::string, int> step_keys;  // node name -> kStep bits
  };
  // How one node's meshes become one host mesh.
  struct NodeMesh {
    std::vector<unsigned> meshes;       // indices into the scene's meshes
    std::vector<host::MeshFace> faces;  // fixed for every time
    std::vector<host::Point3> texture_vertices;
    std::vector<host::TextureFace> texture_faces;
  };

  std::vector<std::unique_ptr<Assimp::Importer>> importers;
  std::vector<const aiScene*> keyframes;  // MDC: one scene a keyframe
  const aiScene* scene = nullptr;
  std::vector<Node> nodes;  // parents before children
  std::unordered_map<std::string, int> node_by_name;
  std::vector<Clip> clips;
  host::Matrix3 to_host;  // the file's axes to the host's
  std::map<int, NodeMesh> node_meshes;

  // Node i's transform relative to its parent at t (a root's includes the
  // turn to the host's axes).
  host::Matrix3 Local(int i, HostTime t) const;
  // Node i's transform to the world at t; every node's is kept for the last t.
  const host::Matrix3& World(int i, HostTime t);
  // Node i's mesh at t, in the node's own space.
  void FillMesh(int i, HostTime t, host::Mesh& out);

 private:
  const Clip* ActiveClip(HostTime t) const;
  double ClipTime(const Clip& clip, HostTime t) const {
    return clip.first_key +
           (static_cast<double>(t) - clip.start) * clip.ticks_per_second / host::kTicksPerSecond;
  }
  void MeshPositions(unsigned mesh_index, const char* node_name, HostTime t,
                     std::vector<host::Point3>& out, const host::Matrix3& world_to_object);

  HostTime world_time_ = 0;
  bool world_valid_ = false;
  std::vector<host::Matrix3> world_;
};

}  // namespace hostapp
