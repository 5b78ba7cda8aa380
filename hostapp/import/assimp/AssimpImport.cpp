#include "hostapp/import/assimp/AssimpImport.h"

#include <assimp/scene.h>

#include <functional>
#include <set>

#include "hostapp/import/FilePaths.h"
#include "hostapp/import/assimp/AssimpMaterials.h"
#include "hostapp/import/assimp/AssimpUnits.h"
#include "hostapp/import/assimp/ClipLayout.h"
#include "hostapp/import/assimp/FileAxes.h"
#include "hostapp/import/assimp/ImportedAnimation.h"
#include "hostapp/import/assimp/NodeMeshes.h"
#include "hostapp/import/assimp/ReadWithAssimp.h"
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

std::shared_ptr<ImportedAnimation> ImportWithAssimp(const std::string& path,
                                                    const ImportOptions& options,
                                                    int ticks_per_frame, StandInScene& scene,
                                                    ImportSummary& summary, std::string& error) {
  auto animation = std::make_shared<ImportedAnimation>();
  const std::string extension = Extension(path);
  if (!ReadWithAssimp(path, extension, *animation, error)) return nullptr;
  const aiScene* source = animation->scene;

  // Axes: the host is Z up with a model facing -Y; every file is turned to
  // face it, by its format's conventions (FormatConventions.h). Units: the file's become the
  // host's inches, at the root like the turn.
  const AxesChoice axes{options.up, options.turn};
  animation->to_host = FileAxesToHost(extension, source, axes);
  summary.axes = FileAxesWords(extension, source, axes);
  summary.without_mesh = MeshlessContents(source);
  const FileUnit unit = UnitOfScene(extension, source, options.units);
  animation->to_host = ScaledToHost(animation->to_host, unit.factor);
  summary.unit = unit.description;
  summary.unit_size = unit.host_units;

  if (!LayOutClips(path, extension, options, ticks_per_frame, *animation, summary, error))
    return nullptr;

  // Materials, made once each as the nodes need them.
  ImportedMaterials materials(source, path, options, scene, summary);

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
    summary.nodes.push_back(std::string(static_cast<size_t>(depth) * 2, ' ') + name + " (" +
                            NodeKind(source, node, bones) + ")");

    // The node's triangle meshes become one host mesh.
    ImportedAnimation::NodeMesh node_mesh;
    std::vector<unsigned> material_indices;
    GatherNodeMesh(source, node, name, node_mesh, material_indices, summary.meshes);
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

  scene.SetAnimationRange(summary.range_start, summary.range_end);
  scene.SetTime(summary.range_start);
  return animation;
}

}  // namespace hostapp
