#pragma once
// Materials as the host's, for both routes of the import: a diffuse colour
// and a diffuse bitmap (a file the scene names, found as SceneTextures finds
// it, or the one the options give).

#include <map>
#include <string>
#include <vector>

#include "hostapp/import/ImportOptions.h"
#include "hostapp/import/textures/SceneTextures.h"
#include "hostapp/scene/StandInScene.h"

namespace hostapp {

// "NAME: diffuse R G B", the start of a material's line in the listing.
std::string ColourWords(const std::string& name, host::Color diffuse);

// Makes materials whose texture is a file the scene file names.
class MaterialMaker {
 public:
  // Materials of the file at path, made into scene and listed in
  // summary.materials; their textures are found as SceneTextures finds them
  // (through a Quake III game's shaders when shader_names is set), listed in
  // summary.textures, and one that is missing or cannot be read is warned
  // about in summary.warnings.
  MaterialMaker(const std::string& path, bool shader_names, const ImportOptions& options,
                StandInScene& scene, ImportSummary& summary);

  // A material of a diffuse colour and the texture the file names (empty for
  // none), which keeps that name as written. A texture that is missing or
  // cannot be read is replaced by the options' fallback texture, or kept by
  // the name it was looked for under (the exporter then paints the colour). A
  // material without a texture gets the fallback texture when there is one.
  StandInMaterial* Make(const std::string& name, host::Color diffuse,
                        const std::string& written_texture);
  // The scene's bitmap texture of a file or registered image, one for each name.
  StandInBitmapTexture* TextureNamed(const std::string& name);
  SceneTextures& Textures() { return textures_; }

 private:
  StandInScene& scene_;
  ImportSummary& summary_;
  SceneTextures textures_;
  std::map<std::string, StandInBitmapTexture*> texture_maps_;
};

}  // namespace hostapp
