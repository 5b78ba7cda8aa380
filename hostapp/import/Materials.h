#pragma once
// The file's materials as the host's: a diffuse colour and a diffuse bitmap
// (a file the scene names, found as SceneTextures finds it, an image embedded
// in it, or the one the options give), made once each as the nodes need them.

#include <map>
#include <string>
#include <vector>

#include "hostapp/import/SceneImporter.h"
#include "hostapp/import/SceneTextures.h"
#include "hostapp/scene/StandInScene.h"

struct aiScene;

namespace hostapp {

class ImportedMaterials {
 public:
  // Materials of source, read from path, made into scene; each is listed in
  // summary.materials, each texture in summary.textures, and a texture that
  // is missing or cannot be read is warned about in summary.warnings.
  ImportedMaterials(const aiScene* source, const std::string& path, const ImportOptions& options,
                    StandInScene& scene, ImportSummary& summary);

  // The host material of the file's material index.
  StandInMaterial* At(unsigned index);
  // The material of a node whose meshes use the file's materials indices (in
  // the order of the node's face material indices): the one material, or a
  // multi-material named after the node, one for each set of indices.
  StandInMaterial* ForNode(const std::string& node_name, const std::vector<unsigned>& indices);

 private:
  StandInBitmapTexture* TextureNamed(const std::string& name);

  const aiScene* source_;
  std::string path_;
  StandInScene& scene_;
  ImportSummary& summary_;
  SceneTextures textures_;
  std::map<unsigned, StandInMaterial*> materials_;
  std::map<std::string, StandInBitmapTexture*> texture_maps_;
  std::map<std::vector<unsigned>, StandInMaterial*> multi_materials_;
};

}  // namespace hostapp
