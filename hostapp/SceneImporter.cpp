#include "hostapp/SceneImporter.h"

#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <unordered_map>

#include "host/Bitmap.h"
#include "host/Timing.h"
#include "hostapp/GltfStepKeys.h"
#include "hostapp/SceneUnits.h"

namespace hostapp {

namespace {

// Quake-family keyframes are a tenth of a second apart.
constexpr double kKeyframeSeconds = 0.1;
// Clips that give no rate of their own run at 25 ticks a second.
constexpr double kDefaultTicksPerSecond = 25.0;
// No file holds more keyframes than this; the count is found by asking.
constexpr int kMaxKeyframes = 4096;
// The name Assimp gives the skin of a Quake model that names none.
constexpr const char* kDummyTextureName = "$texture_dummy.bmp";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string Extension(const std::string& path) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return Lower(path.substr(dot + 1));
}

std::string Directory(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool IsFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsQuakeFamily(const std::string& extension) {
  return extension == "md2" || extension == "md3" || extension == "mdl" || extension == "mdc";
}

const char* KeyframeSetting(const std::string& extension) {
  if (extension == "md2") return AI_CONFIG_IMPORT_MD2_KEYFRAME;
  if (extension == "md3") return AI_CONFIG_IMPORT_MD3_KEYFRAME;
  if (extension == "mdc") return AI_CONFIG_IMPORT_MDC_KEYFRAME;
  return AI_CONFIG_IMPORT_MDL_KEYFRAME;
}

// Assimp's matrices act on column vectors; the host's on row vectors.
host::Matrix3 ToHost(const aiMatrix4x4& m) {
  return host::Matrix3({m.a1, m.b1, m.c1}, {m.a2, m.b2, m.c2}, {m.a3, m.b3, m.c3},
                       {m.a4, m.b4, m.c4});
}

host::Point3 ToPoint(const aiVector3D& v) { return {v.x, v.y, v.z}; }

// Inverse of an affine transform, in double precision; a singular transform
// gives the identity.
host::Matrix3 Inverse(const host::Matrix3& m) {
  double a[3][3];
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) a[r][c] = m.GetRow(r)[c];
  const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                     a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                     a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  if (det == 0.0 || !std::isfinite(det)) return host::Matrix3();
  double inv[3][3];
  inv[0][0] = (a[1][1] * a[2][2] - a[1][2] * a[2][1]) / det;
  inv[0][1] = (a[0][2] * a[2][1] - a[0][1] * a[2][2]) / det;
  inv[0][2] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) / det;
  inv[1][0] = (a[1][2] * a[2][0] - a[1][0] * a[2][2]) / det;
  inv[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) / det;
  inv[1][2] = (a[0][2] * a[1][0] - a[0][0] * a[1][2]) / det;
  inv[2][0] = (a[1][0] * a[2][1] - a[1][1] * a[2][0]) / det;
  inv[2][1] = (a[0][1] * a[2][0] - a[0][0] * a[2][1]) / det;
  inv[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) / det;
  host::Matrix3 result;
  for (int r = 0; r < 3; ++r)
    result.SetRow(r, {static_cast<float>(inv[r][0]), static_cast<float>(inv[r][1]),
                      static_cast<float>(inv[r][2])});
  const host::Point3 t = m.GetTrans();
  host::Point3 moved;
  for (int c = 0; c < 3; ++c)
    moved[c] = static_cast<float>(-(t.x * inv[0][c] + t.y * inv[1][c] + t.z * inv[2][c]));
  result.SetTrans(moved);
  return result;
}

// Seconds to host ticks, rounded to the nearest tick. False for a time that
// is not a number or lies outside the host's signed 32-bit time, where a
// plain conversion would be undefined.
bool SecondsToTicks(double seconds, HostTime* ticks) {
  const double value = std::round(seconds * host::kTicksPerSecond);
  if (!(value >= -2147483648.0 && value <= 2147483647.0)) return false;
  *ticks = static_cast<HostTime>(value);
  return true;
}

// The factor of time between two key times, 0 when they coincide.
double Factor(double from, double to, double time) {
  return to > from ? (time - from) / (to - from) : 0.0;
}

// The pair of keys around time: index of the earlier and the factor toward
// the later. Before the first key and after the last, the end key holds.
template <typename Key>
std::pair<unsigned, double> Bracket(const Key* keys, unsigned count, double time) {
  if (count == 0 || time <= keys[0].mTime) return {0, 0.0};
  for (unsigned k = 0; k + 1 < count; ++k) {
    if (time < keys[k + 1].mTime) return {k, Factor(keys[k].mTime, keys[k + 1].mTime, time)};
  }
  return {count - 1, 0.0};
}

// With step keys a key holds until the next one.
aiVector3D Interpolate(const aiVectorKey* keys, unsigned count, double time, aiVector3D rest,
                       bool step) {
  if (count == 0) return rest;
  const auto [k, f] = Bracket(keys, count, time);
  if (step || f == 0.0 || k + 1 >= count) return keys[k].mValue;
  const aiVector3D& a = keys[k].mValue;
  const aiVector3D& b = keys[k + 1].mValue;
  return a + (b - a) * static_cast<float>(f);
}

aiQuaternion Interpolate(const aiQuatKey* keys, unsigned count, double time, aiQuaternion rest,
                         bool step) {
  if (count == 0) return rest;
  const auto [k, f] = Bracket(keys, count, time);
  if (step || f == 0.0 || k + 1 >= count) return keys[k].mValue;
  aiQuaternion result;
  aiQuaternion::Interpolate(result, keys[k].mValue, keys[k + 1].mValue, static_cast<float>(f));
  return result.Normalize();
}

std::string NodeKind(const aiScene* scene, const aiNode* node, const std::set<std::string>& bones) {
  const std::string name = node->mName.C_Str();
  if (node->mNumMeshes > 0) return "mesh";
  for (unsigned i = 0; i < scene->mNumCameras; ++i)
    if (name == scene->mCameras[i]->mName.C_Str()) return "camera";
  for (unsigned i = 0; i < scene->mNumLights; ++i)
    if (name == scene->mLights[i]->mName.C_Str()) return "light";
  if (bones.count(name)) return "bone";
  return "empty";
}

// Which texture axes repeat beyond 0 .. 1: the file's wrap mode of the
// material's diffuse texture, repeating where the file says nothing (the
// default of the formats).
struct TextureRepeat {
  bool u = true;
  bool v = true;
};

TextureRepeat RepeatOf(const aiMaterial* material) {
  TextureRepeat repeat;
  const aiTextureType type = material->GetTextureCount(aiTextureType_DIFFUSE) > 0
                                 ? aiTextureType_DIFFUSE
                                 : aiTextureType_BASE_COLOR;
  int mode = aiTextureMapMode_Wrap;
  if (material->Get(AI_MATKEY_MAPPINGMODE_U(type, 0), mode) == AI_SUCCESS)
    repeat.u = mode == aiTextureMapMode_Wrap;
  mode = aiTextureMapMode_Wrap;
  if (material->Get(AI_MATKEY_MAPPINGMODE_V(type, 0), mode) == AI_SUCCESS)
    repeat.v = mode == aiTextureMapMode_Wrap;
  return repeat;
}

// The exporter limits texture coordinates to 0 .. 1 instead of repeating
// them, so a face that lies within one repeat of a repeating texture (a tiled
// floor, a box mapped at 5 .. 6) is moved by whole repeats into the first,
// axis by axis. A face that spans more than one repeat stays as it is.
// Returns whether any corner moved.
bool MoveIntoFirstRepeat(const TextureRepeat& repeat, host::Point3 corners[3]) {
  bool moved = false;
  for (int axis = 0; axis < 2; ++axis) {
    if (!(axis == 0 ? repeat.u : repeat.v)) continue;
    const double low = std::min({corners[0][axis], corners[1][axis], corners[2][axis]});
    const double high = std::max({corners[0][axis], corners[1][axis], corners[2][axis]});
    const double whole = std::floor(low);
    if (!std::isfinite(whole) || whole == 0.0 || high - whole > 1.0) continue;
    for (int c = 0; c < 3; ++c) corners[c][axis] = static_cast<float>(corners[c][axis] - whole);
    moved = true;
  }
  return moved;
}

// The turn from a file's axes to the host's (right-handed, Z up, front -Y),
// as a row-vector transform: row i is where the file's axis i goes.
//  - Assimp hands over most formats with Y up and the front +Z (glTF, OBJ,
//    Collada and 3DS whatever their own up axis, DirectX, MD2/MD3/MDL, ...):
//    (x, y, z) -> (x, -z, y).
//  - FBX files keep their own axes and say which they are in their settings:
//    the right axis becomes +X, the front axis -Y and the up axis +Z.
//  - STL and 3MF (and AMF) files, of 3D printing, are Z up, and Assimp
//    leaves them so.
host::Matrix3 FileAxesToHost(const std::string& extension, const aiScene* scene) {
  const host::Matrix3 y_up({1, 0, 0}, {0, 0, 1}, {0, -1, 0}, {0, 0, 0});
  if (extension == "stl" || extension == "3mf" || extension == "amf") return host::Matrix3();
  const aiMetadata* settings = scene->mMetaData;
  int32_t up = 0, up_sign = 0, front = 0, front_sign = 0, right = 0, right_sign = 0;
  if (extension != "fbx" || !settings || !settings->Get("UpAxis", up) ||
      !settings->Get("UpAxisSign", up_sign) || !settings->Get("FrontAxis", front) ||
      !settings->Get("FrontAxisSign", front_sign) || !settings->Get("CoordAxis", right) ||
      !settings->Get("CoordAxisSign", right_sign))
    return y_up;
  auto axis = [](int32_t a) { return a >= 0 && a <= 2; };
  if (!axis(up) || !axis(front) || !axis(right) || up == front || up == right || front == right)
    return y_up;
  auto sign = [](int32_t s) { return s < 0 ? -1.0f : 1.0f; };
  host::Point3 rows[3];
  rows[right] = {sign(right_sign), 0, 0};
  rows[front] = {0, -sign(front_sign), 0};
  rows[up] = {0, 0, sign(up_sign)};
  return host::Matrix3(rows[0], rows[1], rows[2], {0, 0, 0});
}

}  // namespace

// Everything the scene's callbacks need to evaluate the imported file at any
// time: the Assimp scenes (one per keyframe for Quake-family files), the node
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
  std::vector<const aiScene*> keyframes;  // Quake-family: one scene a keyframe
  const aiScene* scene = nullptr;
  std::vector<Node> nodes;  // parents before children
  std::unordered_map<std::string, int> node_by_name;
  std::vector<Clip> clips;
  host::Matrix3 to_host;  // the file's axes to the host's
  std::map<int, NodeMesh> node_meshes;

  host::Matrix3 Local(int i, HostTime t) const;
  const host::Matrix3& World(int i, HostTime t);
  void FillMesh(int i, HostTime t, host::Mesh& out);

 private:
  const Clip* ActiveClip(HostTime t) const;
  double ClipTime(const Clip& clip, HostTime t) const {
    return clip.first_key + (static_cast<double>(t) - clip.start) * clip.ticks_per_second /
                                host::kTicksPerSecond;
  }
  void MeshPositions(unsigned mesh_index, const char* node_name, HostTime t,
                     std::vector<host::Point3>& out, const host::Matrix3& world_to_object);

  HostTime world_time_ = 0;
  bool world_valid_ = false;
  std::vector<host::Matrix3> world_;
};

const ImportedAnimation::Clip* ImportedAnimation::ActiveClip(HostTime t) const {
  const Clip* active = clips.empty() ? nullptr : &clips.front();
  for (const Clip& clip : clips)
    if (t >= clip.start) active = &clip;
  return active;
}

host::Matrix3 ImportedAnimation::Local(int i, HostTime t) const {
  const aiNode* source = nodes[static_cast<size_t>(i)].source;
  host::Matrix3 local = ToHost(source->mTransformation);
  const Clip* clip = ActiveClip(t);
  if (clip) {
    auto channel = clip->channels.find(source->mName.C_Str());
    if (channel != clip->channels.end()) {
      const aiNodeAnim* anim = channel->second;
      aiVector3D rest_scale, rest_position;
      aiQuaternion rest_rotation;
      source->mTransformation.Decompose(rest_scale, rest_rotation, rest_position);
      const double time = ClipTime(*clip, t);
      auto step = clip->step_keys.find(source->mName.C_Str());
      const int steps = step == clip->step_keys.end() ? 0 : step->second;
      const aiVector3D scale = Interpolate(anim->mScalingKeys, anim->mNumScalingKeys, time,
                                           rest_scale, steps & kStepScale);
      const aiQuaternion rotation = Interpolate(anim->mRotationKeys, anim->mNumRotationKeys, time,
                                                rest_rotation, steps & kStepRotation);
      const aiVector3D position = Interpolate(anim->mPositionKeys, anim->mNumPositionKeys, time,
                                              rest_position, steps & kStepTranslation);
      local = ToHost(aiMatrix4x4(scale, rotation, position));
    }
  }
  if (nodes[static_cast<size_t>(i)].parent < 0) local = local * to_host;
  return local;
}

const host::Matrix3& ImportedAnimation::World(int i, HostTime t) {
  if (!world_valid_ || world_time_ != t) {
    world_.resize(nodes.size());
    for (size_t n = 0; n < nodes.size(); ++n) {
      const host::Matrix3 local = Local(static_cast<int>(n), t);
      world_[n] = nodes[n].parent < 0 ? local : local * world_[static_cast<size_t>(nodes[n].parent)];
    }
    world_time_ = t;
    world_valid_ = true;
  }
  return world_[static_cast<size_t>(i)];
}

void ImportedAnimation::MeshPositions(unsigned mesh_index, const char* node_name, HostTime t,
                                      std::vector<host::Point3>& out,
                                      const host::Matrix3& world_to_object) {
  const aiMesh* mesh = scene->mMeshes[mesh_index];
  const size_t first = out.size();

  // Quake-family vertex keyframes, linear in between.
  if (!keyframes.empty()) {
    const double position = static_cast<double>(t) / (kKeyframeSeconds * host::kTicksPerSecond);
    const double clamped = std::min(std::max(position, 0.0), static_cast<double>(keyframes.size() - 1));
    const size_t k = static_cast<size_t>(clamped);
    const size_t next = std::min(k + 1, keyframes.size() - 1);
    const float f = static_cast<float>(clamped - static_cast<double>(k));
    const aiMesh* a = keyframes[k]->mMeshes[mesh_index];
    const aiMesh* b = keyframes[next]->mMeshes[mesh_index];
    for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
      const aiVector3D p = a->mVertices[v] + (b->mVertices[v] - a->mVertices[v]) * f;
      out.push_back(ToPoint(p));
    }
    return;
  }

  for (unsigned v = 0; v < mesh->mNumVertices; ++v) out.push_back(ToPoint(mesh->mVertices[v]));

  // Morph targets, weighted by the clip's keys or their own default weight.
  if (mesh->mNumAnimMeshes > 0) {
    std::vector<double> weights(mesh->mNumAnimMeshes);
    for (unsigned m = 0; m < mesh->mNumAnimMeshes; ++m) weights[m] = mesh->mAnimMeshes[m]->mWeight;
    const Clip* clip = ActiveClip(t);
    const aiMeshMorphAnim* morph = nullptr;
    // Files name a morph channel after the mesh or after the node holding it.
    if (clip) {
      for (const char* name : {node_name, mesh->mName.C_Str()}) {
        auto found = clip->morphs.find(name);
        if (found != clip->morphs.end()) morph = found->second;
      }
    }
    if (morph && morph->mNumKeys > 0) {
      const auto [k, f] = Bracket(morph->mKeys, morph->mNumKeys, ClipTime(*clip, t));
      auto key_weights = [&](unsigned key) {
        std::vector<double> w(mesh->mNumAnimMeshes, 0.0);
        const aiMeshMorphKey& mk = morph->mKeys[key];
        for (unsigned n = 0; n < mk.mNumValuesAndWeights; ++n)
          if (mk.mValues[n] < w.size()) w[mk.mValues[n]] = mk.mWeights[n];
        return w;
      };
      weights = key_weights(k);
      if (f > 0.0 && k + 1 < morph->mNumKeys) {
        const std::vector<double> later = key_weights(k + 1);
        for (size_t m = 0; m < weights.size(); ++m) weights[m] += (later[m] - weights[m]) * f;
      }
    }
    for (unsigned m = 0; m < mesh->mNumAnimMeshes; ++m) {
      const aiAnimMesh* target = mesh->mAnimMeshes[m];
      if (weights[m] == 0.0 || !target->mVertices || target->mNumVertices != mesh->mNumVertices)
        continue;
      for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
        const aiVector3D delta = target->mVertices[v] - mesh->mVertices[v];
        host::Point3& p = out[first + v];
        p.x += static_cast<float>(delta.x * weights[m]);
        p.y += static_cast<float>(delta.y * weights[m]);
        p.z += static_cast<float>(delta.z * weights[m]);
      }
    }
  }

  // Skinning: each weighted vertex goes through its bones' world transforms
  // into the world, then back into the mesh node's own space, where the
  // exporter expects it. Weights are normalised per vertex.
  if (mesh->mNumBones > 0) {
    std::vector<host::Point3> sum(mesh->mNumVertices);
    std::vector<double> total(mesh->mNumVertices, 0.0);
    for (unsigned b = 0; b < mesh->mNumBones; ++b) {
      const aiBone* bone = mesh->mBones[b];
      auto node = node_by_name.find(bone->mName.C_Str());
      if (node == node_by_name.end()) continue;
      const host::Matrix3 skin = ToHost(bone->mOffsetMatrix) * World(node->second, t);
      for (unsigned w = 0; w < bone->mNumWeights; ++w) {
        const aiVertexWeight& weight = bone->mWeights[w];
        if (weight.mVertexId >= mesh->mNumVertices || !(weight.mWeight > 0.0f)) continue;
        const host::Point3 moved = out[first + weight.mVertexId] * skin;
        host::Point3& s = sum[weight.mVertexId];
        s = s + moved * weight.mWeight;
        total[weight.mVertexId] += weight.mWeight;
      }
    }
    for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
      if (total[v] <= 0.0) continue;  // an unweighted vertex stays with its node
      const host::Point3 world = sum[v] * static_cast<float>(1.0 / total[v]);
      out[first + v] = world * world_to_object;
    }
  }
}

void ImportedAnimation::FillMesh(int i, HostTime t, host::Mesh& out) {
  const NodeMesh& node_mesh = node_meshes.at(i);
  const host::Matrix3 world_to_object = Inverse(World(i, t));
  out.vertices.clear();
  const char* node_name = nodes[static_cast<size_t>(i)].source->mName.C_Str();
  for (unsigned mesh_index : node_mesh.meshes)
    MeshPositions(mesh_index, node_name, t, out.vertices, world_to_object);
  out.faces = node_mesh.faces;
  out.texture_vertices = node_mesh.texture_vertices;
  out.texture_faces = node_mesh.texture_faces;
}

SceneImporter::SceneImporter() = default;
SceneImporter::~SceneImporter() = default;

bool SceneImporter::Import(const std::string& path, const ImportOptions& options,
                           StandInScene& scene) {
  error_.clear();
  summary_ = ImportSummary();
  auto animation = std::make_shared<ImportedAnimation>();

  const int fps = options.frames_per_second;
  if (fps < 1 || host::kTicksPerSecond % fps != 0) {
    error_ = "a rate of " + std::to_string(fps) + " frames a second does not divide the host's " +
             std::to_string(host::kTicksPerSecond) + " ticks a second (try 1, 2, 4, 5, 8, 10, 12, 15, 16, 20, 24, 25, 30, 32, 40, 48, 50, 60)";
    return false;
  }
  const int ticks_per_frame = host::kTicksPerSecond / fps;
  if (!IsUnitName(options.units)) {
    error_ = "no unit named " + options.units + " (metres, centimetres, inches or file)";
    return false;
  }
  if (!options.fallback_texture.empty() && !IsFile(options.fallback_texture)) {
    error_ = "texture " + options.fallback_texture + " not found";
    return false;
  }

  const std::string extension = Extension(path);
  const bool quake = IsQuakeFamily(extension);
  // Quake-family keyframes must keep their vertices in file order from
  // keyframe to keyframe, so they are read without any post-processing.
  // Other files are triangulated and split by primitive type; meshes of points
  // or lines then hold no triangle and are dropped below. (Asking Assimp to
  // remove them would fail a file that holds nothing else, which is a valid,
  // empty scene.)
  const unsigned flags =
      quake ? 0u : static_cast<unsigned>(aiProcess_Triangulate | aiProcess_SortByPType);
  auto read = [&](int keyframe) -> const aiScene* {
    auto importer = std::make_unique<Assimp::Importer>();
    if (quake) importer->SetPropertyInteger(KeyframeSetting(extension), keyframe);
    const aiScene* result = importer->ReadFile(path, flags);
    if (!result && keyframe == 0) error_ = importer->GetErrorString();
    if (result) animation->importers.push_back(std::move(importer));
    return result;
  };
  animation->scene = read(0);
  if (!animation->scene || !animation->scene->mRootNode) {
    if (error_.empty()) error_ = "the file holds no scene";
    error_ = "cannot read " + path + ": " + error_;
    return false;
  }
  const aiScene* source = animation->scene;
  if (quake) {
    animation->keyframes.push_back(source);
    for (int k = 1; k < kMaxKeyframes; ++k) {
      const aiScene* keyframe = read(k);
      if (!keyframe || keyframe->mNumMeshes != source->mNumMeshes) break;
      bool same = true;
      for (unsigned m = 0; m < source->mNumMeshes; ++m)
        same = same && keyframe->mMeshes[m]->mNumVertices == source->mMeshes[m]->mNumVertices;
      if (!same) break;
      animation->keyframes.push_back(keyframe);
    }
  }

  // Axes: the host is Z up with a model facing -Y. Quake models face +X;
  // they are turned to face -Y, the host's front, as every other model does.
  animation->to_host = FileAxesToHost(extension, source);
  if (quake) animation->to_host = animation->to_host * host::Matrix3({0, -1, 0}, {1, 0, 0}, {0, 0, 1}, {0, 0, 0});
  // Units: the file's become the host's inches, at the root like the turn.
  const FileUnit unit = UnitOfScene(extension, source, options.units);
  if (unit.factor != 1.0) {
    const float f = static_cast<float>(unit.factor);
    animation->to_host =
        animation->to_host * host::Matrix3({f, 0, 0}, {0, f, 0}, {0, 0, f}, {0, 0, 0});
  }
  summary_.unit = unit.description;
  summary_.unit_size = unit.host_units;

  // Clips.
  const std::vector<std::map<std::string, int>> step_keys =
      extension == "gltf" || extension == "glb" ? ReadGltfStepKeys(path)
                                                : std::vector<std::map<std::string, int>>();
  std::vector<ImportedAnimation::Clip> all_clips;
  for (unsigned a = 0; a < source->mNumAnimations; ++a) {
    const aiAnimation* anim = source->mAnimations[a];
    ImportedAnimation::Clip clip;
    clip.animation = anim;
    if (a < step_keys.size()) clip.step_keys = step_keys[a];
    clip.ticks_per_second = anim->mTicksPerSecond > 0.0 ? anim->mTicksPerSecond : kDefaultTicksPerSecond;
    double first = INFINITY, last = -INFINITY;
    auto extend = [&](double time) {
      first = std::min(first, time);
      last = std::max(last, time);
    };
    for (unsigned c = 0; c < anim->mNumChannels; ++c) {
      const aiNodeAnim* channel = anim->mChannels[c];
      clip.channels[channel->mNodeName.C_Str()] = channel;
      for (unsigned k = 0; k < channel->mNumPositionKeys; ++k) extend(channel->mPositionKeys[k].mTime);
      for (unsigned k = 0; k < channel->mNumRotationKeys; ++k) extend(channel->mRotationKeys[k].mTime);
      for (unsigned k = 0; k < channel->mNumScalingKeys; ++k) extend(channel->mScalingKeys[k].mTime);
    }
    for (unsigned c = 0; c < anim->mNumMorphMeshChannels; ++c) {
      const aiMeshMorphAnim* channel = anim->mMorphMeshChannels[c];
      clip.morphs[channel->mName.C_Str()] = channel;
      for (unsigned k = 0; k < channel->mNumKeys; ++k) extend(channel->mKeys[k].mTime);
    }
    if (!(first <= last)) first = last = 0.0;
    clip.first_key = first;
    const double seconds = (last - first) / clip.ticks_per_second;
    HostTime length = 0;
    if (!SecondsToTicks(first / clip.ticks_per_second, &clip.start) ||
        !SecondsToTicks(seconds, &length) ||
        static_cast<int64_t>(clip.start) + length > INT32_MAX) {
      error_ = "animation " + std::to_string(a) + " of " + path +
               " does not fit the host's time (its keys run from " + std::to_string(first) +
               " to " + std::to_string(last) + " ticks of " +
               std::to_string(clip.ticks_per_second) + " a second)";
      return false;
    }
    clip.end = clip.start + length;
    all_clips.push_back(std::move(clip));
  }
  auto frames_of = [&](const ImportedAnimation::Clip& clip) {
    return static_cast<int>((clip.end - clip.start) / ticks_per_frame) + 1;
  };
  for (size_t a = 0; a < all_clips.size(); ++a) {
    const aiAnimation* anim = all_clips[a].animation;
    ClipInfo info;
    info.name = anim->mName.length ? anim->mName.C_Str() : "clip " + std::to_string(a);
    info.start = all_clips[a].start;
    info.end = all_clips[a].end;
    info.frames = frames_of(all_clips[a]);
    summary_.clips.push_back(info);
  }
  if (quake) {
    // The keyframes are the file's one clip: by its name, its index or "all".
    const std::string& wanted = options.animation;
    if (!wanted.empty() && wanted != "all" && wanted != "0" && wanted != "keyframes") {
      error_ = "no animation named " + wanted + " in " + path + " (its one clip is \"keyframes\")";
      return false;
    }
    ClipInfo info;
    info.name = "keyframes";
    info.end = static_cast<HostTime>(std::lround((animation->keyframes.size() - 1) * kKeyframeSeconds *
                                                 host::kTicksPerSecond));
    info.frames = static_cast<int>(info.end / ticks_per_frame) + 1;
    summary_.clips.push_back(info);
    summary_.range_end = info.end;
  } else if (!all_clips.empty()) {
    std::vector<size_t> chosen;
    const std::string& wanted = options.animation;
    if (wanted.empty()) {
      chosen.push_back(0);
    } else if (wanted == "all") {
      for (size_t a = 0; a < all_clips.size(); ++a) chosen.push_back(a);
    } else {
      for (size_t a = 0; a < summary_.clips.size(); ++a)
        if (summary_.clips[a].name == wanted) chosen.push_back(a);
      char* end = nullptr;
      const long index = std::strtol(wanted.c_str(), &end, 10);
      if (chosen.empty() && end && *end == '\0' && index >= 0 &&
          static_cast<size_t>(index) < all_clips.size())
        chosen.push_back(static_cast<size_t>(index));
      if (chosen.empty()) {
        error_ = "no animation named " + wanted + " in " + path;
        return false;
      }
      chosen.resize(1);
    }
    // "all" lays the clips one after another from the first clip's start.
    int64_t next_start = all_clips[chosen.front()].start;
    for (size_t a : chosen) {
      ImportedAnimation::Clip clip = all_clips[a];
      const int64_t length = static_cast<int64_t>(clip.end) - clip.start;
      if (next_start + length > INT32_MAX) {
        error_ = "the animations of " + path + " together do not fit the host's time";
        return false;
      }
      clip.start = static_cast<HostTime>(next_start);
      clip.end = static_cast<HostTime>(next_start + length);
      // The next clip starts on the first frame after this one ends, so that
      // its first key is a frame of the model too.
      next_start += (length / ticks_per_frame + 1) * ticks_per_frame;
      animation->clips.push_back(clip);
    }
    summary_.range_start = animation->clips.front().start;
    summary_.range_end = animation->clips.back().end;
  } else if (!options.animation.empty() && options.animation != "all" && options.animation != "0") {
    error_ = "the scene has no animation " + options.animation;
    return false;
  }

  // Materials, made once each as the nodes need them.
  std::map<unsigned, StandInMaterial*> materials;
  std::map<std::string, StandInBitmapTexture*> textures;
  const std::string directory = Directory(path);
  auto texture_named = [&](const std::string& name) {
    auto found = textures.find(name);
    if (found != textures.end()) return found->second;
    return textures[name] = scene.AddBitmapTexture(name);
  };
  auto material_at = [&](unsigned index) -> StandInMaterial* {
    auto found = materials.find(index);
    if (found != materials.end()) return found->second;
    const aiMaterial* material = source->mMaterials[index];
    std::string name = material->GetName().C_Str();
    if (name.empty()) name = "material " + std::to_string(index);
    aiColor4D colour(0.6f, 0.6f, 0.6f, 1.0f);
    if (material->Get(AI_MATKEY_COLOR_DIFFUSE, colour) != AI_SUCCESS)
      material->Get(AI_MATKEY_BASE_COLOR, colour);
    StandInMaterial* made = scene.AddMaterial(name, {colour.r, colour.g, colour.b});
    aiString texture_path;
    bool has_texture = material->GetTexture(aiTextureType_DIFFUSE, 0, &texture_path) == AI_SUCCESS ||
                       material->GetTexture(aiTextureType_BASE_COLOR, 0, &texture_path) == AI_SUCCESS;
    std::string texture = has_texture ? texture_path.C_Str() : "";
    if (texture == kDummyTextureName) texture.clear();
    std::string description = name + ": diffuse " + std::to_string(colour.r) + " " +
                              std::to_string(colour.g) + " " + std::to_string(colour.b);
    if (!texture.empty()) {
      std::string map_name;
      if (const aiTexture* embedded = source->GetEmbeddedTexture(texture.c_str())) {
        map_name = path + "#" + texture;
        if (embedded->mHeight == 0) {
          host::TheManager->RegisterEncodedImage(
              map_name, reinterpret_cast<const uint8_t*>(embedded->pcData), embedded->mWidth);
        } else {
          std::vector<uint8_t> rgba;
          const size_t count = static_cast<size_t>(embedded->mWidth) * embedded->mHeight;
          rgba.reserve(count * 4);
          for (size_t p = 0; p < count; ++p) {
            const aiTexel& texel = embedded->pcData[p];
            rgba.insert(rgba.end(), {texel.r, texel.g, texel.b, texel.a});
          }
          host::TheManager->RegisterImage(map_name, static_cast<int>(embedded->mWidth),
                                          static_cast<int>(embedded->mHeight), rgba.data());
        }
        description += ", embedded texture " + texture;
      } else {
        std::replace(texture.begin(), texture.end(), '\\', '/');
        // Relative to the scene file; a path from another machine is tried by
        // its file name beside the scene.
        const std::string base = texture.substr(texture.find_last_of('/') + 1);
        const std::string first = texture[0] == '/' ? texture : directory + "/" + texture;
        map_name = IsFile(first) || !IsFile(directory + "/" + base) ? first : directory + "/" + base;
        if (IsFile(map_name)) {
          description += ", texture " + map_name;
        } else if (!options.fallback_texture.empty()) {
          // A missing file is no better than none: the given bitmap stands in.
          description +=
              ", texture " + map_name + " (missing), " + options.fallback_texture + " (given)";
          map_name = options.fallback_texture;
        } else {
          description += ", texture " + map_name + " (missing)";
          // Still named as the file names it: the exporter finds it missing and
          // paints the diffuse colour, which the user is told beforehand.
          summary_.warnings.push_back("texture " + map_name + " of material " + name +
                                      " not found; its diffuse colour is painted instead");
        }
      }
      made->SetDiffuseMap(texture_named(map_name));
    } else if (!options.fallback_texture.empty()) {
      made->SetDiffuseMap(texture_named(options.fallback_texture));
      description += ", texture " + options.fallback_texture + " (given)";
    }
    summary_.materials.push_back(description);
    return materials[index] = made;
  };
  std::map<std::vector<unsigned>, StandInMaterial*> multi_materials;

  // Bones, so that listings can name them.
  std::set<std::string> bones;
  for (unsigned m = 0; m < source->mNumMeshes; ++m)
    for (unsigned b = 0; b < source->mMeshes[m]->mNumBones; ++b)
      bones.insert(source->mMeshes[m]->mBones[b]->mName.C_Str());

  // Nodes, a parent before its children.
  std::vector<StandInNode*> made_nodes;
  std::function<void(const aiNode*, int, int)> visit = [&](const aiNode* node, int parent, int depth) {
    const int index = static_cast<int>(animation->nodes.size());
    animation->nodes.push_back({node, parent});
    animation->node_by_name.emplace(node->mName.C_Str(), index);
    std::string name = node->mName.length ? node->mName.C_Str() : "node " + std::to_string(index);
    StandInNode* made = scene.AddNode(name, parent < 0 ? nullptr : made_nodes[static_cast<size_t>(parent)]);
    made_nodes.push_back(made);
    // The scene's callbacks share the evaluation state, so it lives as long
    // as the scene does.
    made->SetAnimatedTransform([animation, index](HostTime t) { return animation->Local(index, t); });
    summary_.nodes.push_back(std::string(static_cast<size_t>(depth) * 2, ' ') + name + " (" +
                             NodeKind(source, node, bones) + ")");

    // The node's triangle meshes become one host mesh.
    ImportedAnimation::NodeMesh node_mesh;
    std::vector<unsigned> material_indices;
    bool any_uvs = false;
    for (unsigned n = 0; n < node->mNumMeshes; ++n) {
      const unsigned m = node->mMeshes[n];
      if (m >= source->mNumMeshes) continue;
      const aiMesh* mesh = source->mMeshes[m];
      unsigned triangles = 0;
      for (unsigned f = 0; f < mesh->mNumFaces; ++f) triangles += mesh->mFaces[f].mNumIndices == 3;
      summary_.meshes.push_back(std::string(mesh->mName.length ? mesh->mName.C_Str() : name) + ": " +
                                std::to_string(triangles) + " triangles, " +
                                std::to_string(mesh->mNumVertices) + " vertices" +
                                (mesh->HasTextureCoords(0) ? "" : ", no UVs") +
                                (mesh->mNumBones ? ", " + std::to_string(mesh->mNumBones) + " bones" : "") +
                                (mesh->mNumAnimMeshes ? ", " + std::to_string(mesh->mNumAnimMeshes) + " morph targets" : ""));
      if (triangles == 0) continue;
      node_mesh.meshes.push_back(m);
      any_uvs = any_uvs || mesh->HasTextureCoords(0);
      if (std::find(material_indices.begin(), material_indices.end(), mesh->mMaterialIndex) ==
          material_indices.end())
        material_indices.push_back(mesh->mMaterialIndex);
    }
    if (node_mesh.meshes.empty()) {
      scene.AddNonGeometricObject(made);
    } else {
      uint32_t base = 0;
      // When some of the node's meshes have coordinates and others not, the
      // corners of those without map to texture vertex 0, (0, 0, 0).
      const uint32_t unmapped = 0;
      if (any_uvs) node_mesh.texture_vertices.push_back({0, 0, 0});
      for (unsigned m : node_mesh.meshes) {
        const aiMesh* mesh = source->mMeshes[m];
        const uint16_t material_index = static_cast<uint16_t>(
            std::find(material_indices.begin(), material_indices.end(), mesh->mMaterialIndex) -
            material_indices.begin());
        const uint32_t texture_base = static_cast<uint32_t>(node_mesh.texture_vertices.size());
        const bool uvs = mesh->HasTextureCoords(0);
        if (uvs)
          for (unsigned v = 0; v < mesh->mNumVertices; ++v)
            node_mesh.texture_vertices.push_back(
                {mesh->mTextureCoords[0][v].x, mesh->mTextureCoords[0][v].y, 0.0f});
        const TextureRepeat repeat = RepeatOf(source->mMaterials[mesh->mMaterialIndex]);
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
          const aiFace& face = mesh->mFaces[f];
          if (face.mNumIndices != 3) continue;
          host::MeshFace out;
          host::TextureFace texture_face;
          for (int c = 0; c < 3; ++c) {
            out.v[c] = base + face.mIndices[c];
            texture_face.t[c] = uvs ? texture_base + face.mIndices[c] : unmapped;
          }
          out.material_index = material_index;
          node_mesh.faces.push_back(out);
          if (uvs) {
            host::Point3 corners[3];
            for (int c = 0; c < 3; ++c) corners[c] = node_mesh.texture_vertices[texture_face.t[c]];
            // A face of a repeating texture that lies beyond the first repeat
            // gets corners of its own, moved back into it.
            if (MoveIntoFirstRepeat(repeat, corners)) {
              for (int c = 0; c < 3; ++c) {
                texture_face.t[c] = static_cast<uint32_t>(node_mesh.texture_vertices.size());
                node_mesh.texture_vertices.push_back(corners[c]);
              }
            }
          }
          if (any_uvs) node_mesh.texture_faces.push_back(texture_face);
        }
        base += mesh->mNumVertices;
      }
      animation->node_meshes[index] = std::move(node_mesh);
      scene.AddAnimatedMesh(made, [animation, index](HostTime t, host::Mesh& mesh) {
        animation->FillMesh(index, t, mesh);
      });
      if (material_indices.size() == 1) {
        made->SetMaterial(material_at(material_indices.front()));
      } else {
        StandInMaterial*& multi = multi_materials[material_indices];
        if (!multi) {
          std::vector<host::HostMaterial*> subs;
          for (unsigned m : material_indices) subs.push_back(material_at(m));
          multi = scene.AddMultiMaterial(name + " materials", subs);
        }
        made->SetMaterial(multi);
      }
    }
    for (unsigned c = 0; c < node->mNumChildren; ++c) visit(node->mChildren[c], index, depth + 1);
  };
  visit(source->mRootNode, -1, 0);

  host::SetTicksPerFrame(ticks_per_frame);
  scene.SetAnimationRange(summary_.range_start, summary_.range_end);
  scene.SetTime(summary_.range_start);
  animation_ = animation;
  return true;
}

}  // namespace hostapp
