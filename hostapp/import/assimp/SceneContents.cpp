#include "hostapp/import/assimp/SceneContents.h"

#include <assimp/scene.h>

#include <cstring>

namespace hostapp {

bool IsSkeletonStandIn(const aiScene* scene, unsigned m) {
  const aiMesh* mesh = scene->mMeshes[m];
  if (mesh->mNumBones == 0 || mesh->mMaterialIndex >= scene->mNumMaterials) return false;
  aiString name;
  scene->mMaterials[mesh->mMaterialIndex]->Get(AI_MATKEY_NAME, name);
  return std::strcmp(name.C_Str(), "SkeletonMaterial") == 0;
}

std::string MeshlessContents(const aiScene* scene) {
  bool points = false, lines = false, vertices = false;
  for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
    const aiMesh* mesh = scene->mMeshes[m];
    if (IsSkeletonStandIn(scene, m)) continue;
    vertices = vertices || mesh->mNumVertices > 0;
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
      const unsigned corners = mesh->mFaces[f].mNumIndices;
      if (corners == 3) return "";
      points = points || corners == 1;
      lines = lines || corners == 2;
    }
  }
  if (scene->mNumAnimations > 0) return "holds an animation but no mesh";
  if (points && lines) return "holds only points and lines";
  if (lines) return "holds only lines";
  if (points) return "holds only points";
  if (vertices) return "holds only vertices, no faces";
  if (scene->mNumCameras > 0 || scene->mNumLights > 0) return "holds only cameras or lights";
  return "holds no mesh";
}

}  // namespace hostapp
