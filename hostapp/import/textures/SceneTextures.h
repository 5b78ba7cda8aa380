#pragma once
// The texture files of one import: each name the scene file writes is looked
// up (TextureLookup.h; for Quake III models through the game's shader scripts
// first, as the game does, ShaderScripts.h) and its image read once, then
// held by the bitmap manager, where the exporter finds it. What became of
// each texture goes into the summary: a line for the listing, and one
// warning for a texture that is missing or cannot be read (unless the
// options give a texture to stand in).

#include <map>
#include <memory>
#include <string>

#include "hostapp/import/ImportOptions.h"
#include "hostapp/import/textures/ShaderScripts.h"
#include "hostapp/import/textures/TextureLookup.h"

namespace hostapp {

class SceneTextures {
 public:
  // For the scene file at scene_path, whose names are shader names when
  // shader_names is set (Quake III models); the options' fallback texture,
  // which must exist, is read here.
  SceneTextures(const std::string& scene_path, bool shader_names, const ImportOptions& options,
                ImportSummary& summary);

  struct Choice {
    // The bitmap texture's name: the file found, or the options' texture when
    // that is missing or cannot be read, or else the file found all the same
    // or, when there is none, the scene's folder, "/" and the name as written
    // (which the exporter then fails to load, painting the diffuse colour).
    // Empty when there is no texture at all.
    std::string map_name;
    // For the material's line in the listing: ", texture ..." or empty.
    std::string words;
  };
  // The diffuse map of material, whose texture the scene file names written
  // (empty for none).
  Choice ForMaterial(const std::string& material, const std::string& written);

  // An image the scene file holds, under map_name: listed, and warned about
  // when it could not be decoded (reason says why).
  void NoteEmbedded(const std::string& material, const std::string& texture,
                    const std::string& map_name, bool decoded, const std::string& reason);

 private:
  struct Texture {
    std::string label;  // the name as written, and the shader that stands for it
    TextureSearch search;
    bool readable = false;
    std::string reason;  // why a file found cannot be read
    bool warned = false;
  };
  // The image of path read and held; its line in the listing, once a path,
  // labelled unless found as the label names it.
  bool Read(const std::string& path, const std::string& label, const std::string& note,
            std::string* reason);
  // Looks up a name not met before.
  Texture Look(const std::string& written);

  std::string directory_;
  std::string fallback_;
  bool read_images_;
  ImportSummary& summary_;
  TextureLookup lookup_;
  bool shader_names_;
  std::unique_ptr<ShaderScripts> shaders_;  // read when first needed
  std::map<std::string, Texture> by_name_;
  std::map<std::string, std::string> read_reasons_;  // by path; empty when readable
};

}  // namespace hostapp
