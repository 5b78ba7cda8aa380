#include "hostapp/import/textures/MaterialMaker.h"

namespace hostapp {

std::string ColourWords(const std::string& name, host::Color diffuse) {
  return name + ": diffuse " + std::to_string(diffuse.r) + " " + std::to_string(diffuse.g) + " " +
         std::to_string(diffuse.b);
}

MaterialMaker::MaterialMaker(const std::string& path, bool shader_names,
                             const ImportOptions& options, StandInScene& scene,
                             ImportSummary& summary)
    : scene_(scene), summary_(summary), textures_(path, shader_names, options, summary) {}

StandInBitmapTexture* MaterialMaker::TextureNamed(const std::string& name) {
  auto found = texture_maps_.find(name);
  if (found != texture_maps_.end()) return found->second;
  return texture_maps_[name] = scene_.AddBitmapTexture(name);
}

StandInMaterial* MaterialMaker::Make(const std::string& name, host::Color diffuse,
                                     const std::string& written_texture) {
  StandInMaterial* made = scene_.AddMaterial(name, diffuse);
  made->SetWrittenTextureName(written_texture);
  const SceneTextures::Choice choice = textures_.ForMaterial(name, written_texture);
  if (!choice.map_name.empty()) made->SetDiffuseMap(TextureNamed(choice.map_name));
  summary_.materials.push_back(ColourWords(name, diffuse) + choice.words);
  return made;
}

}  // namespace hostapp
