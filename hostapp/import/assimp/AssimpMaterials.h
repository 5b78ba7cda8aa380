#pragma once
// The materials of a scene Assimp read, as the host's: each made once, as the
// nodes need them, through the material maker (a file the scene names) or
// from an image embedded in the file.

#include <map>
#include <string>
#include <vector>

#include "hostapp/import/ImportOptions.h"
#include "hostapp/import/textures/MaterialMaker.h"
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
  const aiScene* source_;
  std::string path_;
  StandInScene& scene_;
  ImportSummary& summary_;
  MaterialMaker maker_;
  std::map<unsigned, StandInMaterial*> materials_;
  std::map<std::vector<unsigned>, StandInMaterial*> multi_materials_;
};

}  // namespace hostapp
