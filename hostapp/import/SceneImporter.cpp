#include "hostapp/import/SceneImporter.h"

#include <assimp/scene.h>

#include <functional>
#include <set>

#include "host/Timing.h"
#include "hostapp/import/Clips.h"
#include "hostapp/import/ForeignFiles.h"
#include "hostapp/import/FormatConventions.h"
#include "hostapp/import/ImportedAnimation.h"
#include "hostapp/import/Materials.h"
#include "hostapp/import/NodeMeshes.h"
#include "hostapp/import/QuakeImport.h"
#include "hostapp/import/SceneFile.h"
#include "hostapp/import/SceneReading.h"
#include "hostapp/import/SceneUnits.h"
#include "hostapp/import/assimp/SceneContents.h"

namespace hostapp {

namespace {

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

}  // namespace

SceneImporter::SceneImporter() = default;
SceneImporter::~SceneImporter() = default;

bool SceneImporter::Import(const std::string& path, const ImportOptions& options,
                           StandInScene& scene) {
  error_.clear();
  summary_ = ImportSummary();
  auto animation = std::make_shared<ImportedAnimation>();

  const int fps = options.frames_per_second;
  if (fps < 1 || host::kTicksPerSecond % fps != 0) {
    error_ =
        "a rate of " + std::to_string(fps) + " frames a second does not divide the host's " +
        std::to_string(host::kTicksPerSecond) +
        " ticks a second (try 1, 2, 4, 5, 8, 10, 12, 15, 16, 20, 24, 25, 30, 32, 40, 48, 50, 60)";
    return false;
  }
  const int ticks_per_frame = host::kTicksPerSecond / fps;
  if (!IsUnitName(options.units)) {
    error_ = "no unit named " + options.units + " (metres, centimetres, inches or file)";
    return false;
  }
  if (!IsUpAxisName(options.up)) {
    error_ = "no up axis named " + options.up + " (x, y, z, -x, -y or -z)";
    return false;
  }
  if (options.turn != 0 && options.turn != 90 && options.turn != 180 && options.turn != 270) {
    error_ = "a turn of " + std::to_string(options.turn) + " degrees (90, 180 or 270)";
    return false;
  }
  if (!options.fallback_texture.empty() && !IsFile(options.fallback_texture)) {
    error_ = "texture " + options.fallback_texture + " not found";
    return false;
  }

  // A file that is not what its name says is named for what it is.
  const std::string foreign = options.player ? "" : ForeignFileReason(path);
  if (!foreign.empty()) {
    error_ = "cannot read " + path + ": " + foreign;
    return false;
  }

  // Quake-family models and players are read by our own readers.
  const bool quake_model = options.player || IsQuakeModelFile(path);
  if (!options.skin.empty() && !quake_model) {
    error_ = "a skin (" + options.skin + ") is chosen among an MD3 model's .skin files; " + path +
             " is no Quake-family model";
    return false;
  }
  if (quake_model) {
    figure_ = ImportQuakeFigure(path, options, ticks_per_frame, scene, summary_, &error_);
    if (!figure_) return false;
    host::SetTicksPerFrame(ticks_per_frame);
    return true;
  }

  const std::string extension = Extension(path);
  const bool quake = IsQuakeFamily(extension);
  if (!ReadSceneFile(path, extension, *animation, error_)) {
    // Assimp refuses a Half-Life model's sequence file, which holds motion
    // for the model that names it: a file read, with nothing to export.
    if (error_.find("from an MDL sequence file") == std::string::npos) return false;
    error_.clear();
    summary_.without_mesh =
        "holds an animation but no mesh (a Half-Life sequence file, whose model names it)";
    return true;
  }
  const aiScene* source = animation->scene;
  summary_.without_mesh = MeshlessContents(source);

  // Axes: the host is Z up with a model facing -Y; every file is turned so,
  // by its format's conventions. Quake-family files that reach Assimp (MDC,
  // other games' MDL) come as its MDC reader hands them over.
  const AxesChoice axes{options.up, options.turn};
  animation->to_host = FileAxesToHost(quake ? "mdc" : extension, source, axes);
  summary_.axes = AxesWords(quake ? "mdc" : extension, source, axes);
  // Units: the file's become the host's inches, at the root like the turn.
  const FileUnit unit = UnitOfScene(extension, source, options.units);
  if (unit.factor != 1.0) {
    const float f = static_cast<float>(unit.factor);
    animation->to_host =
        animation->to_host * host::Matrix3({f, 0, 0}, {0, f, 0}, {0, 0, f}, {0, 0, 0});
  }
  summary_.unit = unit.description;
  summary_.unit_size = unit.host_units;

  if (!LayOutClips(path, extension, options, ticks_per_frame, *animation, summary_, error_))
    return false;

  // Materials, made once each as the nodes need them.
  ImportedMaterials materials(source, path, options, scene, summary_);

  // Bones, so that listings can name them.
  std::set<std::string> bones;
  for (unsigned m = 0; m < source->mNumMeshes; ++m)
    for (unsigned b = 0; b < source->mMeshes[m]->mNumBones; ++b)
      bones.insert(source->mMeshes[m]->mBones[b]->mName.C_Str());

  // Nodes, a parent before its children.
  std::vector<StandInNode*> made_nodes;
  std::function<void(const aiNode*, int, int)> visit = [&](const aiNode* node, int parent,
                                                           int depth) {
    const int index = static_cast<int>(animation->nodes.size());
    animation->nodes.push_back({node, parent});
    animation->node_by_name.emplace(node->mName.C_Str(), index);
    std::string name = node->mName.length ? node->mName.C_Str() : "node " + std::to_string(index);
    StandInNode* made =
        scene.AddNode(name, parent < 0 ? nullptr : made_nodes[static_cast<size_t>(parent)]);
    made_nodes.push_back(made);
    // The scene's callbacks share the evaluation state, so it lives as long
    // as the scene does.
    made->SetAnimatedTransform(
        [animation, index](HostTime t) { return animation->Local(index, t); });
    summary_.nodes.push_back(std::string(static_cast<size_t>(depth) * 2, ' ') + name + " (" +
                             NodeKind(source, node, bones) + ")");

    // The node's triangle meshes become one host mesh.
    ImportedAnimation::NodeMesh node_mesh;
    std::vector<unsigned> material_indices;
    GatherNodeMesh(source, node, name, node_mesh, material_indices, summary_.meshes);
    if (node_mesh.meshes.empty()) {
      scene.AddNonGeometricObject(made);
    } else {
      animation->node_meshes[index] = std::move(node_mesh);
      scene.AddAnimatedMesh(made, [animation, index](HostTime t, host::Mesh& mesh) {
        animation->FillMesh(index, t, mesh);
      });
      made->SetMaterial(materials.ForNode(name, material_indices));
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
