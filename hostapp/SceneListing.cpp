#include "hostapp/SceneListing.h"

#include <cstdio>

#include "host/Timing.h"
#include "hostapp/Timeline.h"

namespace hostapp {

namespace {

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string Plural(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::string SceneListing(const ImportedScene& scene, int ticks_per_frame) {
  std::string out = "Scene " + scene.path + " (" + (scene.format.empty() ? "?" : scene.format) +
                    "; " + scene.axes + ")\n";

  out += "Nodes (" + std::to_string(scene.nodes.size()) + "):\n";
  std::vector<int> depth(scene.nodes.size(), 0);
  for (size_t i = 0; i < scene.nodes.size(); ++i) {
    const ImportedNode& node = scene.nodes[i];
    if (node.parent >= 0) depth[i] = depth[static_cast<size_t>(node.parent)] + 1;
    size_t triangles = 0;
    for (int m : node.meshes) triangles += scene.meshes[static_cast<size_t>(m)].triangles.size();
    out += std::string(2 + 2 * static_cast<size_t>(depth[i]), ' ') + Quoted(node.name) + "  ";
    out += node.meshes.empty() ? std::string("no geometry")
                               : Plural(node.meshes.size(), "mesh", "meshes") + ", " +
                                     Plural(triangles, "triangle", "triangles");
    out += "\n";
  }

  out += "Meshes (" + std::to_string(scene.meshes.size()) + "):\n";
  for (size_t i = 0; i < scene.meshes.size(); ++i) {
    const ImportedMesh& mesh = scene.meshes[i];
    out += "  " + std::to_string(i) + " " + Quoted(mesh.name) + ": " +
           Plural(mesh.positions.size(), "vertex", "vertices") + ", " +
           Plural(mesh.triangles.size(), "triangle", "triangles") + ", material " +
           std::to_string(mesh.material) +
           (mesh.uvs.empty() ? ", no texture coordinates" : ", texture coordinates");
    if (!mesh.bones.empty()) out += ", " + Plural(mesh.bones.size(), "bone", "bones");
    if (!mesh.morph_targets.empty()) {
      out += ", " + Plural(mesh.morph_targets.size(), "morph target", "morph targets");
    }
    if (mesh.keyframes.size() > 1) out += ", " + Plural(mesh.keyframes.size(), "keyframe", "keyframes");
    out += "\n";
  }

  out += "Materials (" + std::to_string(scene.materials.size()) + "):\n";
  for (size_t i = 0; i < scene.materials.size(); ++i) {
    const ImportedMaterial& material = scene.materials[i];
    out += "  " + std::to_string(i) + " " + Quoted(material.name) + ": diffuse " +
           Fixed(material.diffuse.r, 3) + " " + Fixed(material.diffuse.g, 3) + " " +
           Fixed(material.diffuse.b, 3);
    switch (material.texture_source) {
      case TextureSource::kNone:
        out += ", no texture";
        break;
      case TextureSource::kFile:
        out += ", texture " + material.map_name;
        break;
      case TextureSource::kEmbedded:
        out += ", embedded texture " + material.texture_reference;
        break;
      case TextureSource::kMissingFile:
        out += ", texture " + material.texture_reference + " (missing: " + material.map_name + ")";
        break;
    }
    out += "\n";
  }

  out += "Textures (" + std::to_string(scene.embedded_images.size()) + " embedded):\n";
  for (size_t i = 0; i < scene.embedded_images.size(); ++i) {
    const EmbeddedImage& image = scene.embedded_images[i];
    out += "  *" + std::to_string(i) + " " + (image.format.empty() ? "image" : image.format);
    if (image.width > 0) out += " " + std::to_string(image.width) + "x" + std::to_string(image.height);
    out += ", " + std::to_string(image.size) + " bytes" + (image.decoded ? "" : ", cannot be decoded");
    out += "\n";
  }

  const int rate = host::kTicksPerSecond / ticks_per_frame;
  out += "Animations (" + std::to_string(scene.clips.size()) + ", at " + std::to_string(rate) +
         " frames a second):\n";
  if (scene.clips.empty()) out += "  none: the scene is exported as it stands, 1 frame\n";
  for (size_t i = 0; i < scene.clips.size(); ++i) {
    const Clip& clip = scene.clips[i];
    out += "  " + std::to_string(i) + " " + Quoted(clip.name) + ": " + Fixed(clip.start, 3) +
           " s to " + Fixed(clip.end, 3) + " s, " +
           Plural(static_cast<size_t>(ClipFrameCount(clip, ticks_per_frame)), "frame", "frames") + "\n";
  }
  return out;
}

std::string MissingTextureWarnings(const ImportedScene& scene, bool has_fallback) {
  std::string out;
  if (has_fallback) return out;
  std::vector<bool> used(scene.materials.size(), false);
  for (const ImportedNode& node : scene.nodes) {
    for (int m : node.meshes) used[static_cast<size_t>(scene.meshes[static_cast<size_t>(m)].material)] = true;
  }
  for (size_t i = 0; i < scene.materials.size(); ++i) {
    const ImportedMaterial& material = scene.materials[i];
    if (!used[i] || material.texture_source != TextureSource::kMissingFile) continue;
    out += "texture " + material.map_name + " of material " + Quoted(material.name) +
           " is missing; its diffuse colour is used instead\n";
  }
  return out;
}

}  // namespace hostapp
