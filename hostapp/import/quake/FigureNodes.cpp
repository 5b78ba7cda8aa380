#include "hostapp/import/quake/FigureNodes.h"

#include <algorithm>
#include <map>

#include "host/Bitmap.h"
#include "hostapp/import/FilePaths.h"
#include "mdlformat/QuakePalette.h"

namespace hostapp {

namespace {

// The grey Assimp gave a Quake model's material, kept so that a model whose
// texture is missing is painted as before.
constexpr host::Color kModelGrey = {0.6f, 0.6f, 0.6f};

// The model's own MDL skin as an image the bitmap manager holds: each
// palette index as its colour.
std::string RegisterSkin(const std::string& path, const QuakeSkin& skin) {
  std::vector<uint8_t> rgba;
  rgba.reserve(skin.pixels.size() * 4);
  for (uint8_t index : skin.pixels) {
    const uint8_t* colour = vandrell::kQuakePaletteRgb[index];
    rgba.insert(rgba.end(), {colour[0], colour[1], colour[2], 255});
  }
  const std::string name = path + "#skin";
  host::TheManager->RegisterImage(name, skin.width, skin.height, rgba.data());
  return name;
}

// The listing's words for an MDL's own skin: its size, what keeps it pixel for
// pixel (the exporter's skin is a multiple of 8 wide and fits the texture
// limit, in KBytes), and its fullbright pixels, which need --fullbright.
std::string SkinWords(const QuakeSkin& skin) {
  const long bytes = ((static_cast<long>(skin.width) + 7) / 8 * 8) * skin.height;
  const long fullbright = std::count_if(skin.pixels.begin(), skin.pixels.end(), [](uint8_t index) {
    return index >= vandrell::kPaletteSizeWithoutFullbright;
  });
  return std::to_string(skin.width) + "x" + std::to_string(skin.height) +
         " palette indices, kept pixel for pixel with --texture-kb " +
         std::to_string((bytes + 1023) / 1024) + " or more" +
         (fullbright ? " and --fullbright (" + std::to_string(fullbright) + " fullbright pixels)"
                     : "");
}

// The material of an MDL's own skin, its image held by the bitmap manager
// and listed in the summary's materials.
StandInMaterial* AddOwnSkin(const std::string& path, const QuakeSkin& skin,
                            MaterialMaker& materials, StandInScene& scene,
                            std::vector<std::string>* material_lines) {
  StandInMaterial* own_skin = scene.AddMaterial("skin", kModelGrey);
  const std::string skin_name = RegisterSkin(path, skin);
  own_skin->SetDiffuseMap(materials.TextureNamed(skin_name));
  materials.Textures().NoteEmbedded("skin", "skin", skin_name, true, "");
  material_lines->push_back(ColourWords("skin", kModelGrey) + ", the model's own skin, " +
                            SkinWords(skin));
  return own_skin;
}

// A surface's texture: the skin file's for it when the file lists it, else
// the one the model names; and the listing's words for it.
struct SurfaceTexture {
  std::string texture;
  std::string words;
};
SurfaceTexture TextureOfSurface(const QuakeSurface& surface, const std::string& surface_name,
                                const SkinFile& skin) {
  SurfaceTexture chosen{surface.texture,
                        surface.texture.empty() ? "" : ", texture " + surface.texture};
  if (skin.path.empty()) return chosen;
  auto listed = skin.textures.find(Lower(surface_name));
  if (listed == skin.textures.end()) {
    chosen.words += " (not in " + skin.path + ")";
  } else {
    chosen.texture = listed->second;
    chosen.words = (chosen.texture.empty() ? ", no texture" : ", texture " + chosen.texture) +
                   " (" + skin.path + ")";
  }
  return chosen;
}

// The material of a surface that wears texture: the MDL's own skin when it
// has one, else one material for each texture, made when first needed.
StandInMaterial* SurfaceMaterial(const std::string& texture, StandInMaterial* own_skin,
                                 MaterialMaker& materials,
                                 std::map<std::string, StandInMaterial*>* by_texture) {
  StandInMaterial*& material = (*by_texture)[texture];
  if (own_skin) {
    material = own_skin;
  } else if (!material) {
    material = materials.Make(texture.empty() ? "skin" : texture, kModelGrey, texture);
  }
  return material;
}

std::string Indented(int depth, const std::string& line) {
  return std::string(static_cast<size_t>(depth) * 2, ' ') + line;
}

}  // namespace

void AddFigureNodes(const std::shared_ptr<QuakeFigure>& figure, const std::vector<SkinFile>& skins,
                    const std::string& path, bool player, MaterialMaker& materials,
                    StandInScene& scene, ImportSummary& summary) {
  std::map<std::string, StandInMaterial*> by_texture;
  std::vector<StandInNode*> part_nodes;
  std::vector<int> depths;
  for (size_t p = 0; p < figure->parts.size(); ++p) {
    const QuakeFigure::Part& part = figure->parts[p];
    const QuakeModel& model = part.model;
    const size_t parent = static_cast<size_t>(part.parent);
    StandInNode* node = scene.AddNode(part.name, part.parent < 0 ? nullptr : part_nodes[parent]);
    node->SetAnimatedTransform([figure, p](HostTime t) { return figure->PartTransform(p, t); });
    const int depth = part.parent < 0 ? 0 : depths[parent] + 1;
    part_nodes.push_back(node);
    depths.push_back(depth);
    const bool own_mesh = model.surfaces.size() == 1;
    summary.nodes.push_back(Indented(depth, part.name + (own_mesh ? " (mesh)" : " (empty)")));
    if (!own_mesh) scene.AddNonGeometricObject(node);
    StandInMaterial* own_skin = model.skin.pixels.empty() ? nullptr
                                                          : AddOwnSkin(path, model.skin, materials,
                                                                       scene, &summary.materials);
    for (size_t s = 0; s < model.surfaces.size(); ++s) {
      const QuakeSurface& surface = model.surfaces[s];
      const std::string surface_name = surface.name.empty() ? part.name : surface.name;
      StandInNode* holder = node;
      if (!own_mesh) {
        holder = scene.AddNode(surface_name, node);
        summary.nodes.push_back(Indented(depth + 1, surface_name + " (mesh)"));
      }
      const SurfaceTexture texture = TextureOfSurface(surface, surface_name, skins[p]);
      summary.meshes.push_back((player ? part.name + "/" : std::string()) + surface_name + ": " +
                               std::to_string(surface.triangles.size()) + " triangles, " +
                               std::to_string(surface.vertex_count) + " vertices, " +
                               std::to_string(model.frame_count) + " frames" + texture.words);
      scene.AddAnimatedMesh(holder, [figure, p, s](HostTime t, host::Mesh& mesh) {
        figure->FillMesh(p, s, t, mesh);
      });
      holder->SetMaterial(SurfaceMaterial(texture.texture, own_skin, materials, &by_texture));
    }
  }
}

}  // namespace hostapp
