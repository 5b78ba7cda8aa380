#include "hostapp/import/textures/SceneTextures.h"

#include <algorithm>

#include "host/Bitmap.h"
#include "hostapp/import/FilePaths.h"

namespace hostapp {

namespace {

constexpr const char* kPaintedInstead = "; its diffuse colour is painted instead";

std::string SizeWords(const std::string& name) {
  int width = 0;
  int height = 0;
  if (!host::TheManager->HeldImageSize(name, &width, &height)) return "";
  return ", " + std::to_string(width) + "x" + std::to_string(height);
}

}  // namespace

SceneTextures::SceneTextures(const std::string& scene_path, bool shader_names,
                             const ImportOptions& options, ImportSummary& summary)
    : directory_(Directory(scene_path)),
      fallback_(options.fallback_texture),
      read_images_(options.read_textures),
      summary_(summary),
      lookup_(directory_),
      shader_names_(shader_names) {
  std::string reason;
  if (!fallback_.empty() && !Read(fallback_, "", " (given)", &reason))
    summary_.warnings.push_back("the given texture " + fallback_ + " cannot be read: " + reason +
                                "; diffuse colours are painted instead");
}

bool SceneTextures::Read(const std::string& path, const std::string& label, const std::string& note,
                         std::string* reason) {
  auto known = read_reasons_.find(path);
  if (known != read_reasons_.end()) {
    *reason = known->second;
    return reason->empty();
  }
  std::string why;
  const bool readable = !read_images_ || host::TheManager->RegisterImageFile(path, &why);
  read_reasons_[path] = readable ? "" : why;
  std::string line = path + note;
  if (!label.empty() && path != directory_ + "/" + label) line = label + ": " + line;
  summary_.textures.push_back(line + (readable ? SizeWords(path) : ": cannot be read: " + why));
  *reason = why;
  return readable;
}

SceneTextures::Choice SceneTextures::ForMaterial(const std::string& material,
                                                 const std::string& written) {
  Choice choice;
  if (written.empty()) {
    if (!fallback_.empty()) choice = {fallback_, ", texture " + fallback_ + " (given)"};
    return choice;
  }
  auto known = by_name_.find(written);
  if (known == by_name_.end()) known = by_name_.emplace(written, Look(written)).first;
  Texture& texture = known->second;
  const std::string& found = texture.search.path;
  if (!found.empty() && texture.readable) {
    const bool as_written = found == directory_ + "/" + written;
    choice.map_name = found;
    choice.words = ", texture " + (as_written ? found : texture.label + " found as " + found);
    return choice;
  }

  choice.words = found.empty() ? ", texture " + written + " (missing)"
                               : ", texture " + found + " (cannot be read)";
  if (!fallback_.empty()) {
    // A texture that is missing or unreadable is no better than none: the
    // given bitmap stands in, as the user asked.
    choice.map_name = fallback_;
    choice.words += ", " + fallback_ + " (given)";
    return choice;
  }
  if (!texture.warned) {
    texture.warned = true;
    summary_.warnings.push_back(
        found.empty() ? "texture " + texture.label + " of material " + material + " not found (" +
                            texture.search.tried + ")" + kPaintedInstead
                      : "texture " + found + " of material " + material +
                            " cannot be read: " + texture.reason + kPaintedInstead);
  }
  if (found.empty()) {
    // Still named as the file names it: the exporter finds it missing and
    // paints the diffuse colour, which the user has been told.
    std::string name = written;
    std::replace(name.begin(), name.end(), '\\', '/');
    choice.map_name = name[0] == '/' ? name : directory_ + "/" + name;
  } else {
    choice.map_name = found;
  }
  return choice;
}

SceneTextures::Texture SceneTextures::Look(const std::string& written) {
  Texture texture;
  texture.label = written;
  std::string image = written;
  if (shader_names_) {
    if (!shaders_) shaders_ = std::make_unique<ShaderScripts>(lookup_.Bases());
    // A shader that names no image (one drawn by the engine's own) leaves the
    // name to be looked for as an image, as a shader that is not defined does.
    const ShaderScripts::Shader* shader = shaders_->Find(written);
    if (shader && !shader->image.empty()) {
      texture.label =
          written + " (shader of " + shader->script + ", drawing " + shader->image + ")";
      image = shader->image;
    }
  }
  texture.search = lookup_.Find(image);
  if (texture.search.path.empty())
    summary_.textures.push_back(texture.label + ": missing; " + texture.search.tried);
  else
    texture.readable = Read(texture.search.path, texture.label, "", &texture.reason);
  return texture;
}

void SceneTextures::NoteEmbedded(const std::string& material, const std::string& texture,
                                 const std::string& map_name, bool decoded,
                                 const std::string& reason) {
  summary_.textures.push_back(texture + " (embedded)" +
                              (decoded ? SizeWords(map_name) : ": cannot be read: " + reason));
  if (!decoded)
    summary_.warnings.push_back("the embedded texture " + texture + " of material " + material +
                                " cannot be read: " + reason + kPaintedInstead);
}

}  // namespace hostapp
