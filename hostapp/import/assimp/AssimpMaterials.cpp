#include "hostapp/import/assimp/AssimpMaterials.h"

#include <assimp/material.h>
#include <assimp/scene.h>

#include <cstdint>

#include "host/Bitmap.h"

namespace hostapp {

namespace {

// The name Assimp gives the skin of a Quake model that names none.
constexpr const char* kDummyTextureName = "$texture_dummy.bmp";

}  // namespace

ImportedMaterials::ImportedMaterials(const aiScene* source, const std::string& path,
                                     const ImportOptions& options, StandInScene& scene,
                                     ImportSummary& summary)
    : source_(source),
      path_(path),
      scene_(scene),
      summary_(summary),
      // Other files than Quake III models name images, not shaders.
      maker_(path, false, options, scene, summary) {}

StandInMaterial* ImportedMaterials::At(unsigned index) {
  auto found = materials_.find(index);
  if (found != materials_.end()) return found->second;
  const aiMaterial* material = source_->mMaterials[index];
  std::string name = material->GetName().C_Str();
  if (name.empty()) name = "material " + std::to_string(index);
  aiColor4D colour(0.6f, 0.6f, 0.6f, 1.0f);
  if (material->Get(AI_MATKEY_COLOR_DIFFUSE, colour) != AI_SUCCESS)
    material->Get(AI_MATKEY_BASE_COLOR, colour);
  aiString texture_path;
  bool has_texture = material->GetTexture(aiTextureType_DIFFUSE, 0, &texture_path) == AI_SUCCESS ||
                     material->GetTexture(aiTextureType_BASE_COLOR, 0, &texture_path) == AI_SUCCESS;
  std::string texture = has_texture ? texture_path.C_Str() : "";
  if (texture == kDummyTextureName) texture.clear();
  const aiTexture* embedded =
      texture.empty() ? nullptr : source_->GetEmbeddedTexture(texture.c_str());
  if (!embedded)
    return materials_[index] = maker_.Make(name, {colour.r, colour.g, colour.b}, texture);

  StandInMaterial* made = scene_.AddMaterial(name, {colour.r, colour.g, colour.b});
  made->SetWrittenTextureName(texture);
  const std::string map_name = path_ + "#" + texture;
  bool decoded = true;
  std::string reason;
  if (embedded->mHeight == 0) {
    decoded = host::TheManager->RegisterEncodedImage(
        map_name, reinterpret_cast<const uint8_t*>(embedded->pcData), embedded->mWidth, &reason);
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
  maker_.Textures().NoteEmbedded(name, texture, map_name, decoded, reason);
  made->SetDiffuseMap(maker_.TextureNamed(map_name));
  summary_.materials.push_back(ColourWords(name, {colour.r, colour.g, colour.b}) +
                               ", embedded texture " + texture);
  return materials_[index] = made;
}

StandInMaterial* ImportedMaterials::ForNode(const std::string& node_name,
                                            const std::vector<unsigned>& indices) {
  if (indices.size() == 1) return At(indices.front());
  StandInMaterial*& multi = multi_materials_[indices];
  if (!multi) {
    std::vector<host::HostMaterial*> subs;
    for (unsigned m : indices) subs.push_back(At(m));
    multi = scene_.AddMultiMaterial(node_name + " materials", subs);
  }
  return multi;
}

}  // namespace hostapp
