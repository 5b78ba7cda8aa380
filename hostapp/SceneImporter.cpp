#include "hostapp/SceneImporter.h"

#include <sys/stat.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

#include "host/Bitmap.h"
#include "host/Timing.h"

namespace hostapp {

namespace {

// Triangulated, checked by the library, and nothing else: no step that joins,
// splits or reorders vertices, so that the vertex keyframes of one file, each
// imported on its own, correspond vertex for vertex and face for face.
constexpr unsigned kImportSteps = aiProcess_Triangulate | aiProcess_ValidateDataStructure;

// Formats that come out of the import library with Z up: the 3D-printing
// formats, whose importers leave the file's axes as they are.
const char* const kZUpFormats[] = {"stl", "3mf", "amf"};

// Clips whose ticks per second the file does not give run at 25 a second.
constexpr double kDefaultTicksPerSecond = 25.0;

// Vertex keyframes read from one file at most; more is not a model but damage.
constexpr int kMaxKeyframes = 100000;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Extension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return Lower(path.substr(dot + 1));
}

std::string Directory(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool IsFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

Mat4 ToMat4(const aiMatrix4x4& a) {
  Mat4 m;
  const ai_real* rows[4] = {&a.a1, &a.b1, &a.c1, &a.d1};
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) m.m[i][j] = rows[i][j];
  }
  return m;
}

// A matrix from three rows of the linear part (column-vector convention).
Mat4 FromRows(const Vec3& r0, const Vec3& r1, const Vec3& r2) {
  Mat4 m;
  const Vec3 rows[3] = {r0, r1, r2};
  for (int i = 0; i < 3; ++i) {
    m.m[i][0] = rows[i].x;
    m.m[i][1] = rows[i].y;
    m.m[i][2] = rows[i].z;
  }
  return m;
}

// Y up to Z up: (x, y, z) -> (x, -z, y), a quarter turn about X.
Mat4 YUpToZUp() { return FromRows({1, 0, 0}, {0, 0, -1}, {0, 1, 0}); }

// A quarter turn about Z that brings +X to -Y: (x, y, z) -> (y, -x, z).
Mat4 PlusXToMinusY() { return FromRows({0, 1, 0}, {-1, 0, 0}, {0, 0, 1}); }

Vec3 UnitAxis(int axis, int sign) {
  Vec3 v;
  const double s = sign < 0 ? -1.0 : 1.0;
  if (axis == 0) v.x = s;
  if (axis == 1) v.y = s;
  if (axis == 2) v.z = s;
  return v;
}

// The turn an FBX file's axis settings ask for: its right axis becomes +X,
// its front axis (toward the viewer) -Y and its up axis +Z. False when the
// settings are missing or do not name three different axes.
bool FbxAxes(const aiScene* scene, Mat4* turn) {
  const aiMetadata* meta = scene->mMetaData;
  if (!meta) return false;
  int32_t up = 0, up_sign = 0, front = 0, front_sign = 0, coord = 0, coord_sign = 0;
  if (!meta->Get("UpAxis", up) || !meta->Get("UpAxisSign", up_sign) ||
      !meta->Get("FrontAxis", front) || !meta->Get("FrontAxisSign", front_sign) ||
      !meta->Get("CoordAxis", coord) || !meta->Get("CoordAxisSign", coord_sign)) {
    return false;
  }
  auto valid = [](int32_t axis) { return axis >= 0 && axis <= 2; };
  if (!valid(up) || !valid(front) || !valid(coord) || up == front || up == coord || front == coord) {
    return false;
  }
  *turn = FromRows(UnitAxis(coord, coord_sign), UnitAxis(front, -front_sign), UnitAxis(up, up_sign));
  return true;
}

void ChooseAxes(const aiScene* source, ImportedScene* scene) {
  const std::string& format = scene->format;
  if (IsQuakeFamily(format)) {
    // The library turns these Z-up files to Y up; undo that, then face -Y.
    scene->scene_to_host = PlusXToMinusY() * YUpToZUp();
    scene->axes = "Quake: Z up, front +X, turned to face -Y";
    return;
  }
  if (format == "fbx") {
    Mat4 turn;
    if (FbxAxes(source, &turn)) {
      scene->scene_to_host = turn;
      scene->axes = "FBX axis settings";
      return;
    }
  }
  for (const char* z_up : kZUpFormats) {
    if (format == z_up) {
      scene->scene_to_host = Mat4();
      scene->axes = "Z up";
      return;
    }
  }
  scene->scene_to_host = YUpToZUp();
  scene->axes = "Y up, turned to Z up";
}

void ReadNodes(const aiNode* root, ImportedScene* scene, std::map<const aiNode*, int>* index_of) {
  // Depth first, a parent before its children.
  std::function<void(const aiNode*, int)> visit = [&](const aiNode* node, int parent) {
    ImportedNode own;
    own.name = node->mName.C_Str();
    own.parent = parent;
    own.local = ToMat4(node->mTransformation);
    aiVector3D scaling, position;
    aiQuaternion rotation;
    node->mTransformation.Decompose(scaling, rotation, position);
    own.translation = {position.x, position.y, position.z};
    own.rotation = {rotation.w, rotation.x, rotation.y, rotation.z};
    own.scaling = {scaling.x, scaling.y, scaling.z};
    for (unsigned i = 0; i < node->mNumMeshes; ++i) own.meshes.push_back(static_cast<int>(node->mMeshes[i]));
    const int index = static_cast<int>(scene->nodes.size());
    scene->nodes.push_back(std::move(own));
    (*index_of)[node] = index;
    for (unsigned i = 0; i < node->mNumChildren; ++i) visit(node->mChildren[i], index);
  };
  visit(root, -1);
}

int FindNode(const ImportedScene& scene, const std::string& name) {
  for (size_t i = 0; i < scene.nodes.size(); ++i) {
    if (scene.nodes[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

host::Point3 ToPoint(const aiVector3D& v) { return {v.x, v.y, v.z}; }

ImportedMesh ReadMesh(const aiMesh* source, const ImportedScene& scene) {
  ImportedMesh mesh;
  mesh.name = source->mName.C_Str();
  mesh.material = static_cast<int>(source->mMaterialIndex);
  const unsigned count = source->mNumVertices;
  mesh.positions.reserve(count);
  for (unsigned v = 0; v < count; ++v) mesh.positions.push_back(ToPoint(source->mVertices[v]));
  if (source->HasTextureCoords(0)) {
    // Without flipping, the library gives v pointing up, as the host wants it.
    for (unsigned v = 0; v < count; ++v) {
      const aiVector3D& uv = source->mTextureCoords[0][v];
      mesh.uvs.push_back({uv.x, uv.y, 0.0f});
    }
  }
  for (unsigned f = 0; f < source->mNumFaces; ++f) {
    const aiFace& face = source->mFaces[f];
    // Points and lines stay behind; triangulation left only triangles else.
    if (face.mNumIndices != 3) continue;
    if (face.mIndices[0] >= count || face.mIndices[1] >= count || face.mIndices[2] >= count) continue;
    mesh.triangles.push_back({face.mIndices[0], face.mIndices[1], face.mIndices[2]});
  }

  if (source->mNumBones > 0) {
    std::vector<std::vector<Influence>> per_vertex(count);
    for (unsigned b = 0; b < source->mNumBones; ++b) {
      const aiBone* bone = source->mBones[b];
      BoneBinding binding;
      binding.node = FindNode(scene, bone->mName.C_Str());
      binding.offset = ToMat4(bone->mOffsetMatrix);
      mesh.bones.push_back(binding);
      for (unsigned w = 0; w < bone->mNumWeights; ++w) {
        const aiVertexWeight& weight = bone->mWeights[w];
        // Weights that cannot take part in a blend are left out.
        if (weight.mVertexId >= count || !(weight.mWeight > 0.0f) || !std::isfinite(weight.mWeight)) continue;
        per_vertex[weight.mVertexId].push_back({b, weight.mWeight});
      }
    }
    mesh.influence_start.reserve(count + 1);
    for (std::vector<Influence>& influences : per_vertex) {
      mesh.influence_start.push_back(static_cast<uint32_t>(mesh.influences.size()));
      double sum = 0.0;
      for (const Influence& influence : influences) sum += influence.weight;
      // A vertex's shares are made to add up to 1, whatever the file says.
      for (Influence influence : influences) {
        influence.weight /= sum;
        mesh.influences.push_back(influence);
      }
    }
    mesh.influence_start.push_back(static_cast<uint32_t>(mesh.influences.size()));
  }

  for (unsigned k = 0; k < source->mNumAnimMeshes; ++k) {
    const aiAnimMesh* target = source->mAnimMeshes[k];
    MorphTarget morph;
    morph.name = target->mName.C_Str();
    morph.default_weight = target->mWeight;
    // A target that does not move the vertices (normals only) keeps its place
    // in the list, so that weights still find their targets by index.
    if (target->mVertices && target->mNumVertices == count) {
      for (unsigned v = 0; v < count; ++v) morph.positions.push_back(ToPoint(target->mVertices[v]));
    }
    mesh.morph_targets.push_back(std::move(morph));
  }
  return mesh;
}

// Whether a texture name is one the library puts in where a file names none.
bool IsPlaceholderTexture(const std::string& reference) {
  return reference.empty() || reference[0] == '$';
}

void ReadMaterial(const aiMaterial* source, const aiScene* file, const ImportedScene& scene,
                  ImportedMaterial* material) {
  aiString name;
  if (source->Get(AI_MATKEY_NAME, name) == AI_SUCCESS) material->name = name.C_Str();
  aiColor4D colour;
  if (source->Get(AI_MATKEY_COLOR_DIFFUSE, colour) == AI_SUCCESS ||
      source->Get(AI_MATKEY_BASE_COLOR, colour) == AI_SUCCESS) {
    material->diffuse = {colour.r, colour.g, colour.b};
  }

  aiTextureType type = aiTextureType_DIFFUSE;
  if (source->GetTextureCount(type) == 0) type = aiTextureType_BASE_COLOR;
  aiString path;
  if (source->GetTextureCount(type) == 0 || source->GetTexture(type, 0, &path) != AI_SUCCESS) return;
  int mode = aiTextureMapMode_Wrap;
  if (source->Get(AI_MATKEY_MAPPINGMODE_U(type, 0), mode) == AI_SUCCESS) {
    material->wrap_u = mode == aiTextureMapMode_Wrap;
  }
  mode = aiTextureMapMode_Wrap;
  if (source->Get(AI_MATKEY_MAPPINGMODE_V(type, 0), mode) == AI_SUCCESS) {
    material->wrap_v = mode == aiTextureMapMode_Wrap;
  }

  std::string reference = path.C_Str();
  material->texture_reference = reference;
  const std::pair<const aiTexture*, int> embedded = file->GetEmbeddedTextureAndIndex(reference.c_str());
  if (embedded.first && embedded.second >= 0 &&
      static_cast<size_t>(embedded.second) < scene.embedded_images.size()) {
    material->texture_source = TextureSource::kEmbedded;
    material->map_name = scene.embedded_images[static_cast<size_t>(embedded.second)].registered_name;
    return;
  }
  if (IsPlaceholderTexture(reference) || reference[0] == '*') return;

  // Names written on Windows use backslashes; names are relative to the
  // scene file unless absolute; a file that moved beside the scene is found
  // by its last component.
  std::replace(reference.begin(), reference.end(), '\\', '/');
  const std::string directory = Directory(scene.path);
  std::vector<std::string> candidates;
  if (reference[0] == '/') candidates.push_back(reference);
  candidates.push_back(directory + reference);
  const size_t slash = reference.find_last_of('/');
  if (slash != std::string::npos) candidates.push_back(directory + reference.substr(slash + 1));
  for (const std::string& candidate : candidates) {
    if (IsFile(candidate)) {
      material->texture_source = TextureSource::kFile;
      material->map_name = candidate;
      return;
    }
  }
  material->texture_source = TextureSource::kMissingFile;
  material->map_name = reference[0] == '/' ? reference : directory + reference;
}

void ReadEmbeddedImages(const aiScene* file, ImportedScene* scene) {
  for (unsigned i = 0; i < file->mNumTextures; ++i) {
    const aiTexture* texture = file->mTextures[i];
    EmbeddedImage image;
    image.registered_name = scene->path + "*" + std::to_string(i);
    if (texture->mHeight == 0) {
      // Compressed: mWidth is the byte count, the hint names the format.
      image.format = texture->achFormatHint;
      image.size = texture->mWidth;
      image.decoded = host::TheManager->RegisterEncodedImage(
          image.registered_name, reinterpret_cast<const uint8_t*>(texture->pcData), texture->mWidth);
    } else {
      image.format = "rgba";
      image.width = static_cast<int>(texture->mWidth);
      image.height = static_cast<int>(texture->mHeight);
      image.size = static_cast<size_t>(texture->mWidth) * texture->mHeight * 4;
      std::vector<uint8_t> rgba;
      rgba.reserve(image.size);
      for (size_t p = 0; p < static_cast<size_t>(texture->mWidth) * texture->mHeight; ++p) {
        const aiTexel& texel = texture->pcData[p];
        rgba.insert(rgba.end(), {texel.r, texel.g, texel.b, texel.a});
      }
      host::TheManager->RegisterImage(image.registered_name, image.width, image.height, rgba.data());
      image.decoded = true;
    }
    scene->embedded_images.push_back(image);
  }
}

Extrapolation FromBehaviour(aiAnimBehaviour behaviour) {
  switch (behaviour) {
    case aiAnimBehaviour_LINEAR:
      return Extrapolation::kLinear;
    case aiAnimBehaviour_REPEAT:
      return Extrapolation::kRepeat;
    default:
      // Constant, and the default, which most importers leave in place
      // whatever the file meant: the nearest key, as viewers show it.
      return Extrapolation::kHold;
  }
}

template <typename T>
void SortByTime(std::vector<Key<T>>& keys) {
  // Stable: keys sharing a time keep their order, which makes the step.
  std::stable_sort(keys.begin(), keys.end(),
                   [](const Key<T>& a, const Key<T>& b) { return a.time < b.time; });
}

Clip ReadClip(const aiAnimation* animation, const ImportedScene& scene) {
  Clip clip;
  clip.name = animation->mName.C_Str();
  const double ticks_per_second =
      animation->mTicksPerSecond > 0.0 ? animation->mTicksPerSecond : kDefaultTicksPerSecond;
  bool any_key = false;
  double first = 0.0;
  double last = 0.0;
  auto seconds = [&](double ticks) {
    const double time = ticks / ticks_per_second;
    if (std::isfinite(time)) {
      first = any_key ? std::min(first, time) : time;
      last = any_key ? std::max(last, time) : time;
      any_key = true;
    }
    return time;
  };

  for (unsigned c = 0; c < animation->mNumChannels; ++c) {
    const aiNodeAnim* source = animation->mChannels[c];
    NodeChannel channel;
    channel.node = FindNode(scene, source->mNodeName.C_Str());
    if (channel.node < 0) continue;
    for (unsigned k = 0; k < source->mNumPositionKeys; ++k) {
      const aiVectorKey& key = source->mPositionKeys[k];
      channel.positions.push_back({seconds(key.mTime), {key.mValue.x, key.mValue.y, key.mValue.z}});
    }
    for (unsigned k = 0; k < source->mNumRotationKeys; ++k) {
      const aiQuatKey& key = source->mRotationKeys[k];
      channel.rotations.push_back(
          {seconds(key.mTime), {key.mValue.w, key.mValue.x, key.mValue.y, key.mValue.z}});
    }
    for (unsigned k = 0; k < source->mNumScalingKeys; ++k) {
      const aiVectorKey& key = source->mScalingKeys[k];
      channel.scalings.push_back({seconds(key.mTime), {key.mValue.x, key.mValue.y, key.mValue.z}});
    }
    SortByTime(channel.positions);
    SortByTime(channel.rotations);
    SortByTime(channel.scalings);
    channel.before = FromBehaviour(source->mPreState);
    channel.after = FromBehaviour(source->mPostState);
    clip.node_channels.push_back(std::move(channel));
  }

  for (unsigned c = 0; c < animation->mNumMorphMeshChannels; ++c) {
    const aiMeshMorphAnim* source = animation->mMorphMeshChannels[c];
    const std::string name = source->mName.C_Str();
    // The name is that of the meshes, or of the node holding them.
    MorphChannel channel;
    size_t targets = 0;
    for (size_t m = 0; m < scene.meshes.size(); ++m) {
      if (scene.meshes[m].name == name) channel.meshes.push_back(static_cast<int>(m));
    }
    for (const ImportedNode& node : scene.nodes) {
      if (node.name != name) continue;
      for (int m : node.meshes) {
        if (std::find(channel.meshes.begin(), channel.meshes.end(), m) == channel.meshes.end()) {
          channel.meshes.push_back(m);
        }
      }
    }
    if (channel.meshes.empty()) continue;
    for (int m : channel.meshes) targets = std::max(targets, scene.meshes[static_cast<size_t>(m)].morph_targets.size());
    for (unsigned k = 0; k < source->mNumKeys; ++k) {
      const aiMeshMorphKey& key = source->mKeys[k];
      MorphWeightKey weights;
      weights.time = seconds(key.mTime);
      weights.weights.assign(targets, 0.0);
      for (unsigned v = 0; v < key.mNumValuesAndWeights; ++v) {
        if (key.mValues[v] < targets) weights.weights[key.mValues[v]] = key.mWeights[v];
      }
      channel.keys.push_back(std::move(weights));
    }
    std::stable_sort(channel.keys.begin(), channel.keys.end(),
                     [](const MorphWeightKey& a, const MorphWeightKey& b) { return a.time < b.time; });
    clip.morph_channels.push_back(std::move(channel));
  }

  clip.start = first;
  clip.end = last;
  return clip;
}

// The frame count a Quake-family file's header gives, or 1 when the header is
// not one of the three known kinds.
int KeyframeCountInHeader(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return 1;
  unsigned char header[80] = {};
  const size_t read = std::fread(header, 1, sizeof header, file);
  std::fclose(file);
  auto field = [&](size_t offset) -> int64_t {
    if (offset + 4 > read) return 1;
    return static_cast<int32_t>(static_cast<uint32_t>(header[offset]) |
                                static_cast<uint32_t>(header[offset + 1]) << 8 |
                                static_cast<uint32_t>(header[offset + 2]) << 16 |
                                static_cast<uint32_t>(header[offset + 3]) << 24);
  };
  if (read < 4) return 1;
  const std::string ident(reinterpret_cast<const char*>(header), 4);
  int64_t frames = 1;
  if (ident == "IDP2") frames = field(40);  // Quake II MD2
  if (ident == "IDP3") frames = field(76);  // Quake III MD3
  if (ident == "IDPO") frames = field(68);  // Quake MDL
  if (frames < 1) return 1;
  return static_cast<int>(std::min<int64_t>(frames, kMaxKeyframes));
}

void SetKeyframe(Assimp::Importer& importer, int keyframe) {
  importer.SetPropertyInteger(AI_CONFIG_IMPORT_MD2_KEYFRAME, keyframe);
  importer.SetPropertyInteger(AI_CONFIG_IMPORT_MD3_KEYFRAME, keyframe);
  importer.SetPropertyInteger(AI_CONFIG_IMPORT_MDL_KEYFRAME, keyframe);
  // Only the file named, not the other parts of a multi-part player model.
  importer.SetPropertyBool(AI_CONFIG_IMPORT_MD3_HANDLE_MULTIPART, false);
}

// Reads keyframes 1 onwards into the meshes; every keyframe must have the
// first one's meshes, vertex counts and faces.
bool ReadKeyframes(const std::string& path, const aiScene* first, ImportedScene* scene,
                   std::string* error) {
  const int count = KeyframeCountInHeader(path);
  for (ImportedMesh& mesh : scene->meshes) mesh.keyframes.assign(1, mesh.positions);
  int read = 1;
  for (int k = 1; k < count; ++k) {
    Assimp::Importer importer;
    SetKeyframe(importer, k);
    const aiScene* frame = importer.ReadFile(path, kImportSteps);
    if (!frame) break;  // a header that promises more frames than the file holds
    if (frame->mNumMeshes != first->mNumMeshes) {
      *error = "keyframe " + std::to_string(k) + " has other meshes than keyframe 0";
      return false;
    }
    for (unsigned m = 0; m < frame->mNumMeshes; ++m) {
      const aiMesh* a = first->mMeshes[m];
      const aiMesh* b = frame->mMeshes[m];
      bool same = a->mNumVertices == b->mNumVertices && a->mNumFaces == b->mNumFaces;
      for (unsigned f = 0; same && f < a->mNumFaces; ++f) {
        same = a->mFaces[f].mNumIndices == b->mFaces[f].mNumIndices &&
               std::equal(a->mFaces[f].mIndices, a->mFaces[f].mIndices + a->mFaces[f].mNumIndices,
                          b->mFaces[f].mIndices);
      }
      if (!same) {
        *error = "keyframe " + std::to_string(k) + " of mesh " + std::to_string(m) +
                 " does not match keyframe 0 face for face";
        return false;
      }
      std::vector<host::Point3> positions;
      positions.reserve(b->mNumVertices);
      for (unsigned v = 0; v < b->mNumVertices; ++v) positions.push_back(ToPoint(b->mVertices[v]));
      scene->meshes[m].keyframes.push_back(std::move(positions));
    }
    ++read;
  }
  if (read > 1) {
    Clip clip;
    clip.name = "keyframes";
    clip.start = 0.0;
    clip.end = (read - 1) * kKeyframeInterval;
    clip.vertex_keyframes = true;
    scene->clips.push_back(std::move(clip));
  } else {
    for (ImportedMesh& mesh : scene->meshes) mesh.keyframes.clear();
  }
  return true;
}

}  // namespace

bool IsQuakeFamily(const std::string& format) {
  return format == "md2" || format == "md3" || format == "mdl";
}

bool ReadSceneFile(const std::string& path, ImportedScene* scene, std::string* error) {
  *scene = ImportedScene();
  scene->path = path;
  scene->format = Extension(path);
  if (!IsFile(path)) {
    *error = "cannot read " + path + ": no such file";
    return false;
  }

  Assimp::Importer importer;
  SetKeyframe(importer, 0);
  const aiScene* file = importer.ReadFile(path, kImportSteps);
  if (!file) {
    *error = "cannot read " + path + ": " + importer.GetErrorString();
    return false;
  }
  if (!file->mRootNode) {
    *error = "cannot read " + path + ": the file holds no scene";
    return false;
  }

  ChooseAxes(file, scene);
  std::map<const aiNode*, int> index_of;
  ReadNodes(file->mRootNode, scene, &index_of);
  ReadEmbeddedImages(file, scene);
  scene->materials.resize(file->mNumMaterials);
  for (unsigned i = 0; i < file->mNumMaterials; ++i) {
    ReadMaterial(file->mMaterials[i], file, *scene, &scene->materials[i]);
  }
  for (unsigned i = 0; i < file->mNumMeshes; ++i) scene->meshes.push_back(ReadMesh(file->mMeshes[i], *scene));
  // Nodes keep only meshes that kept triangles and name a material that exists.
  for (ImportedNode& node : scene->nodes) {
    std::vector<int> kept;
    for (int m : node.meshes) {
      if (m < 0 || static_cast<size_t>(m) >= scene->meshes.size()) continue;
      const ImportedMesh& mesh = scene->meshes[static_cast<size_t>(m)];
      if (mesh.triangles.empty()) continue;
      if (mesh.material < 0 || static_cast<size_t>(mesh.material) >= scene->materials.size()) continue;
      kept.push_back(m);
    }
    node.meshes = kept;
  }
  for (unsigned i = 0; i < file->mNumAnimations; ++i) {
    scene->clips.push_back(ReadClip(file->mAnimations[i], *scene));
  }
  if (IsQuakeFamily(scene->format) && !ReadKeyframes(path, file, scene, error)) {
    *error = "cannot read " + path + ": " + *error;
    return false;
  }
  return true;
}

std::shared_ptr<SceneAnimator> BuildStandInScene(std::shared_ptr<const ImportedScene> imported,
                                                 const Timeline& timeline,
                                                 const std::string& fallback_texture,
                                                 StandInScene& scene) {
  auto animator = std::make_shared<SceneAnimator>(imported, timeline);
  const ImportedScene& source = *imported;

  // One host material per file material a node uses, made when first needed.
  std::vector<StandInMaterial*> materials(source.materials.size(), nullptr);
  StandInBitmapTexture* fallback = nullptr;
  auto material_for = [&](int index) -> StandInMaterial* {
    StandInMaterial*& host_material = materials[static_cast<size_t>(index)];
    if (host_material) return host_material;
    const ImportedMaterial& own = source.materials[static_cast<size_t>(index)];
    host_material = scene.AddMaterial(own.name, own.diffuse);
    const bool usable = own.texture_source == TextureSource::kFile ||
                        own.texture_source == TextureSource::kEmbedded;
    if (usable) {
      host_material->SetDiffuseMap(scene.AddBitmapTexture(own.map_name));
    } else if (!fallback_texture.empty()) {
      if (!fallback) fallback = scene.AddBitmapTexture(fallback_texture);
      host_material->SetDiffuseMap(fallback);
    } else if (own.texture_source == TextureSource::kMissingFile) {
      // Named as the file names it: the exporter finds it missing and paints
      // the diffuse colour.
      host_material->SetDiffuseMap(scene.AddBitmapTexture(own.map_name));
    }
    return host_material;
  };
  std::map<std::vector<int>, StandInMaterial*> multi_materials;

  std::vector<StandInNode*> nodes(source.nodes.size(), nullptr);
  for (size_t i = 0; i < source.nodes.size(); ++i) {
    const ImportedNode& own = source.nodes[i];
    StandInNode* parent = own.parent >= 0 ? nodes[static_cast<size_t>(own.parent)] : nullptr;
    StandInNode* node = scene.AddNode(own.name, parent);
    nodes[i] = node;
    const int index = static_cast<int>(i);
    // The file's axes are turned to the host's once, above the roots.
    const Mat4 above = own.parent < 0 ? source.scene_to_host : Mat4();
    node->SetAnimatedTransform(
        [animator, index, above](HostTime t) { return ToHostMatrix(above * animator->LocalAt(index, t)); });

    if (animator->NodeFaceCount(index) == 0) {
      scene.AddNonGeometricObject(node);
      continue;
    }
    scene.AddAnimatedMesh(node, [animator, index](HostTime t, host::Mesh& mesh) {
      animator->NodeMeshAt(index, t, mesh);
    });
    const std::vector<int>& used = animator->NodeMaterials(index);
    if (used.size() == 1) {
      node->SetMaterial(material_for(used.front()));
    } else {
      StandInMaterial*& multi = multi_materials[used];
      if (!multi) {
        std::vector<host::HostMaterial*> subs;
        std::string name;
        for (int m : used) {
          subs.push_back(material_for(m));
          name += (name.empty() ? "" : " + ") + source.materials[static_cast<size_t>(m)].name;
        }
        multi = scene.AddMultiMaterial(name, subs);
      }
      node->SetMaterial(multi);
    }
  }
  scene.SetAnimationRange(timeline.start, timeline.end);
  scene.SetTime(timeline.start);
  return animator;
}

bool ImportScene(const std::string& path, const ImportOptions& options, StandInScene& scene,
                 ImportResult* result, std::string* error) {
  auto imported = std::make_shared<ImportedScene>();
  if (!ReadSceneFile(path, imported.get(), error)) return false;
  Timeline timeline;
  if (!MakeTimeline(*imported, options.animation, options.frames_per_second, &timeline, error)) {
    return false;
  }
  host::SetTicksPerFrame(timeline.ticks_per_frame);
  result->imported = imported;
  result->timeline = timeline;
  result->animator = BuildStandInScene(imported, timeline, options.fallback_texture, scene);
  return true;
}

}  // namespace hostapp
