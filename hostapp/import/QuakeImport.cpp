#include "hostapp/import/QuakeImport.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <set>

#include "host/Bitmap.h"
#include "hostapp/import/FormatConventions.h"
#include "hostapp/import/FrameNameClips.h"
#include "hostapp/import/Materials.h"
#include "hostapp/import/PlayerConfig.h"
#include "hostapp/import/SceneFile.h"
#include "hostapp/import/SceneUnits.h"
#include "hostapp/import/SkinFiles.h"
#include "mdlformat/QuakePalette.h"

namespace hostapp {

namespace {

// The grey Assimp gave a Quake model's material, kept so that a model whose
// texture is missing is painted as before.
constexpr host::Color kModelGrey = {0.6f, 0.6f, 0.6f};

// The file name of path without its folder and extension.
std::string Stem(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool ReadText(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// The index of the tag named name (in any case), or -1.
int FindTag(const QuakeModel& model, const std::string& name) {
  for (size_t t = 0; t < model.tags.size(); ++t)
    if (Lower(model.tags[t].name) == name) return static_cast<int>(t);
  return -1;
}

// A model's clips: those its file names, or else its runs of frame names.
std::vector<QuakeClip> ModelClips(const QuakeModel& model) {
  std::vector<QuakeClip> clips;
  for (const QuakeModelClip& named : model.clips) {
    QuakeClip clip;
    clip.name = named.name;
    for (size_t f = named.first; f < named.first + named.count; ++f) clip.poses.push_back({f});
    clips.push_back(std::move(clip));
  }
  if (!clips.empty()) return clips;
  for (const FrameRun& run : ClipsFromFrameNames(model.frame_names)) {
    QuakeClip clip;
    clip.name = run.name;
    for (size_t f = run.first; f < run.first + run.count; ++f) clip.poses.push_back({f});
    clips.push_back(std::move(clip));
  }
  return clips;
}

enum PlayerPartIndex { kLegs = 0, kTorso = 1, kHead = 2 };

// A player's clips from its animation.cfg, or its frames side by side when it
// has none.
std::vector<QuakeClip> PlayerClips(const std::vector<QuakeFigure::Part>& parts,
                                   const std::string& config_path, ImportSummary& summary) {
  const size_t legs_frames = parts[kLegs].model.frame_count;
  const size_t torso_frames = parts[kTorso].model.frame_count;
  // Without animations, legs and torso play their frames side by side.
  auto side_by_side = [&](const std::string& why) {
    summary.warnings.push_back(why + ": legs and torso play their frames side by side as one clip");
    QuakeClip clip;
    clip.name = "frames";
    for (size_t f = 0; f < std::max(legs_frames, torso_frames); ++f)
      clip.poses.push_back({std::min(f, legs_frames - 1), std::min(f, torso_frames - 1), 0});
    return std::vector<QuakeClip>{clip};
  };
  std::string text;
  if (config_path.empty()) return side_by_side("the player has no animation.cfg");
  if (!ReadText(config_path, &text)) return side_by_side("cannot read " + config_path);
  const PlayerConfig config = ReadPlayerConfig(text);
  for (const std::string& note : config.notes) summary.warnings.push_back(note);
  if (config.animations.empty()) return side_by_side(config_path + " lists no animation");
  std::vector<QuakeClip> clips;
  // No animation plays longer than the longer part has frames: beyond them
  // it would only show the last frame again.
  const size_t most = std::max(legs_frames, torso_frames);
  auto played = [most](const PlayerAnimation& animation) {
    return std::min(static_cast<size_t>(animation.count), most);
  };
  // The frames a part holds still on: the first animation of that name.
  auto frames_of = [&](const std::string& name) {
    std::vector<size_t> frames;
    for (const PlayerAnimation& animation : config.animations) {
      if (animation.name != name) continue;
      for (size_t i = 0; i < played(animation); ++i)
        frames.push_back(static_cast<size_t>(animation.first) + i);
      break;
    }
    if (frames.empty()) frames.push_back(0);
    return frames;
  };
  const std::vector<size_t> standing = frames_of("torso_stand");
  const std::vector<size_t> idle = frames_of("legs_idle");
  for (const PlayerAnimation& animation : config.animations) {
    QuakeClip clip;
    clip.name = animation.name;
    bool beyond = played(animation) < static_cast<size_t>(animation.count);
    for (size_t k = 0; k < played(animation); ++k) {
      const size_t own = static_cast<size_t>(animation.first) + k;
      size_t legs = own, torso = own;
      if (animation.part == PlayerPart::kTorso) legs = idle[k % idle.size()];
      if (animation.part == PlayerPart::kLegs) torso = standing[k % standing.size()];
      // A frame a model does not have shows the model's last.
      beyond = beyond || legs >= legs_frames || torso >= torso_frames;
      clip.poses.push_back({std::min(legs, legs_frames - 1), std::min(torso, torso_frames - 1), 0});
    }
    if (beyond)
      summary.warnings.push_back("animation.cfg: " + animation.name +
                                 " runs past the frames of lower.md3 (" +
                                 std::to_string(legs_frames) + ") or upper.md3 (" +
                                 std::to_string(torso_frames) + "); those show the last frame");
    clips.push_back(std::move(clip));
  }
  return clips;
}

// The chosen clips: every clip for an empty choice or "all", else the first
// clip of that name (in any case when no name matches exactly) or index.
bool ChooseClips(const std::vector<QuakeClip>& clips, const std::string& wanted,
                 const std::string& path, std::vector<size_t>* chosen, std::string* error) {
  chosen->clear();
  if (wanted.empty() || wanted == "all") {
    for (size_t c = 0; c < clips.size(); ++c) chosen->push_back(c);
    return true;
  }
  for (bool any_case : {false, true}) {
    for (size_t c = 0; c < clips.size() && chosen->empty(); ++c) {
      if (clips[c].name == wanted || (any_case && Lower(clips[c].name) == Lower(wanted)))
        chosen->push_back(c);
    }
  }
  if (chosen->empty() && !wanted.empty() &&
      std::all_of(wanted.begin(), wanted.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
      wanted.size() < 10 && std::stoul(wanted) < clips.size())
    chosen->push_back(std::stoul(wanted));
  if (!chosen->empty()) return true;
  std::string names;
  for (size_t c = 0; c < clips.size() && c < 12; ++c) names += (c ? ", " : "") + clips[c].name;
  if (clips.size() > 12) names += ", ...";
  *error = "no animation named " + wanted + " in " + path + " (its clips: " + names + ")";
  return false;
}

ClipInfo ClipAt(const std::string& name, size_t first_pose, size_t poses, int ticks_per_frame) {
  ClipInfo info;
  info.name = name;
  info.start = static_cast<HostTime>(first_pose * kQuakePoseTicks);
  info.end = static_cast<HostTime>((first_pose + poses - 1) * kQuakePoseTicks);
  info.frames = static_cast<int>((info.end - info.start) / ticks_per_frame) + 1;
  return info;
}

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

// The skin file of each part (an empty one for a part without), as
// options.skin chooses; false with the reason in *error when a skin the
// options name is not there for every part, or is given for models other
// than MD3.
bool ReadSkinFiles(const std::vector<QuakeFigure::Part>& parts, const ImportOptions& options,
                   std::vector<SkinFile>* skins, ImportSummary& summary, std::string* error) {
  const std::string name = options.skin.empty() ? "default" : options.skin;
  // The default skin files missing where a part has others, and those others.
  std::vector<std::string> undressed;
  std::set<std::string> others;
  for (const QuakeFigure::Part& part : parts) {
    skins->emplace_back();
    if (part.model.format != "MD3") {
      if (options.skin.empty()) continue;
      *error = "a skin (" + options.skin + ") is chosen among an MD3 model's .skin files; " +
               part.path + " is an " + part.model.format + " model";
      return false;
    }
    const std::string file = FindSkinFile(part.path, name);
    if (file.empty()) {
      const std::vector<std::string> names = SkinNames(part.path);
      if (options.skin.empty()) {
        if (!names.empty()) undressed.push_back(part.name + "_default.skin");
        others.insert(names.begin(), names.end());
        continue;
      }
      std::string listed;
      for (const std::string& skin : names) listed += (listed.empty() ? "" : ", ") + skin;
      *error = "no skin file " + part.name + "_" + name + ".skin beside " + part.path +
               (listed.empty() ? " (it has no skin files)" : " (its skins: " + listed + ")");
      return false;
    }
    if (!ReadSkinFile(file, &skins->back(), error)) return false;
  }
  if (!undressed.empty()) {
    std::string missing, listed;
    for (size_t k = 0; k < undressed.size(); ++k)
      missing += (k == 0 ? "" : k + 1 == undressed.size() ? " or " : ", ") + undressed[k];
    for (const std::string& skin : others) listed += (listed.empty() ? "" : ", ") + skin;
    summary.warnings.push_back("no " + missing + " in " + Directory(parts.front().path) +
                               ": the surfaces wear the shaders they name; the skins there: " +
                               listed + " (choose one with --skin NAME)");
  }
  return true;
}

bool ReadPart(const std::string& path, const std::string& name, QuakeFigure::Part* part,
              std::string* error) {
  part->name = name;
  part->path = path;
  std::string reason;
  if (!ReadQuakeModelFile(path, &part->model, &reason)) {
    *error = "cannot read " + path + ": " + reason;
    return false;
  }
  return true;
}

// The three parts of the player at path (its folder or one of its files),
// hung together, the path of its animation.cfg (empty when it has none) and
// that of its first part.
bool ReadPlayer(const std::string& path, std::vector<QuakeFigure::Part>* parts,
                std::string* config_path, std::string* first_part, std::string* error) {
  const std::string folder = IsDirectory(path) ? path : Directory(path);
  const char* names[3] = {"lower", "upper", "head"};
  for (const char* name : names) {
    const std::string file = FileInAnyCase(folder, std::string(name) + ".md3");
    if (file.empty()) {
      *error = "no " + std::string(name) + ".md3 in " + folder +
               " (a player is lower.md3, upper.md3 and head.md3)";
      return false;
    }
    QuakeFigure::Part part;
    if (!ReadPart(file, name, &part, error)) return false;
    if (parts->empty()) *first_part = file;
    parts->push_back(std::move(part));
  }
  // The torso hangs from the legs' tag_torso, the head from the torso's tag_head.
  const struct {
    int part;
    int parent;
    const char* tag;
  } hangs[] = {{kTorso, kLegs, "tag_torso"}, {kHead, kTorso, "tag_head"}};
  for (const auto& hang : hangs) {
    const int tag = FindTag((*parts)[static_cast<size_t>(hang.parent)].model, hang.tag);
    if (tag < 0) {
      *error = folder + "/" + names[hang.parent] + ".md3 has no " + hang.tag + " to hang " +
               names[hang.part] + ".md3 from";
      return false;
    }
    (*parts)[static_cast<size_t>(hang.part)].parent = hang.parent;
    (*parts)[static_cast<size_t>(hang.part)].parent_tag = static_cast<size_t>(tag);
  }
  *config_path = FileInAnyCase(folder, "animation.cfg");
  return true;
}

// What parts without a triangle hold, for the summary; empty when some
// part has one.
std::string QuakeMeshlessContents(const std::vector<QuakeFigure::Part>& parts) {
  std::string tags;
  bool animation = false;
  for (const QuakeFigure::Part& part : parts) {
    for (const QuakeSurface& surface : part.model.surfaces)
      if (!surface.triangles.empty()) return "";
    for (const QuakeTag& tag : part.model.tags) tags += (tags.empty() ? "" : ", ") + tag.name;
    animation = animation || part.model.animation_frames > 0;
  }
  if (animation) return "holds an animation but no mesh";
  if (!tags.empty()) return "holds only tags (" + tags + ") but no mesh";
  return "holds no mesh";
}

}  // namespace

bool IsQuakeModelFile(const std::string& path) {
  const std::string extension = Extension(path);
  if (extension == "md2" || extension == "md3" || extension == "iqm") return true;
  std::ifstream in(path, std::ios::binary);
  uint8_t magic[16] = {};
  in.read(reinterpret_cast<char*>(magic), sizeof magic);
  return !QuakeFormatOf(magic, static_cast<size_t>(in.gcount())).empty();
}

std::shared_ptr<QuakeFigure> ImportQuakeFigure(const std::string& path,
                                               const ImportOptions& options, int ticks_per_frame,
                                               StandInScene& scene, ImportSummary& summary,
                                               std::string* error) {
  auto figure = std::make_shared<QuakeFigure>();
  std::vector<QuakeClip> clips;
  std::string format;
  // Textures are looked for beside the model (a player's first part).
  std::string model_path = path;
  if (options.player) {
    std::string config_path;
    if (!ReadPlayer(path, &figure->parts, &config_path, &model_path, error)) return nullptr;
    clips = PlayerClips(figure->parts, config_path, summary);
    format = "md3";
  } else {
    QuakeFigure::Part part;
    if (!ReadPart(path, Stem(path), &part, error)) return nullptr;
    clips = ModelClips(part.model);
    format = Lower(part.model.format);
    figure->parts.push_back(std::move(part));
  }
  for (const QuakeFigure::Part& part : figure->parts)
    for (const std::string& note : part.model.notes)
      summary.warnings.push_back(part.name + "." + Lower(part.model.format) + ": " + note);

  // The clips, each where it would play with every clip; then the chosen ones.
  size_t poses = 0;
  for (const QuakeClip& clip : clips) poses += clip.poses.size();
  if (poses > static_cast<size_t>(INT32_MAX / kQuakePoseTicks)) {
    *error = path + " has more frames than the host's time holds";
    return nullptr;
  }
  size_t pose = 0;
  for (const QuakeClip& clip : clips) {
    summary.clips.push_back(ClipAt(clip.name, pose, clip.poses.size(), ticks_per_frame));
    pose += clip.poses.size();
  }
  std::vector<size_t> chosen;
  if (!ChooseClips(clips, options.animation, path, &chosen, error)) return nullptr;
  for (size_t c : chosen) {
    summary.timeline.push_back(
        ClipAt(clips[c].name, figure->timeline.size(), clips[c].poses.size(), ticks_per_frame));
    figure->timeline.insert(figure->timeline.end(), clips[c].poses.begin(), clips[c].poses.end());
  }

  // Quake models face +X; they are turned to face -Y, the host's front, as
  // every other model is. Units: the file's become the host's inches.
  const FileUnit unit = UnitOfScene(format, nullptr, options.units);
  summary.unit = unit.description;
  summary.unit_size = unit.host_units;
  const float f = static_cast<float>(unit.factor);
  const AxesChoice axes{options.up, options.turn};
  figure->to_host = FileAxesToHost(format, nullptr, axes);
  summary.axes = AxesWords(format, nullptr, axes);
  if (unit.factor != 1.0)
    figure->to_host = figure->to_host * host::Matrix3({f, 0, 0}, {0, f, 0}, {0, 0, f}, {0, 0, 0});
  figure->PrepareMeshes();

  // Each MD3 part's skin file, whose textures win over the surfaces' shaders.
  std::vector<SkinFile> skins;
  if (!ReadSkinFiles(figure->parts, options, &skins, summary, error)) return nullptr;

  // Nodes: a part holds its one surface itself, or has a child node for each.
  // Quake III models name shaders of the game's scripts, or images.
  MaterialMaker materials(model_path, format == "md3", options, scene, summary);
  std::map<std::string, StandInMaterial*> by_texture;
  std::vector<StandInNode*> part_nodes;
  std::vector<int> depths;
  for (size_t p = 0; p < figure->parts.size(); ++p) {
    const QuakeFigure::Part& part = figure->parts[p];
    const QuakeModel& model = part.model;
    StandInNode* parent = part.parent < 0 ? nullptr : part_nodes[static_cast<size_t>(part.parent)];
    const int depth = part.parent < 0 ? 0 : depths[static_cast<size_t>(part.parent)] + 1;
    StandInNode* node = scene.AddNode(part.name, parent);
    node->SetAnimatedTransform([figure, p](HostTime t) { return figure->PartTransform(p, t); });
    part_nodes.push_back(node);
    depths.push_back(depth);
    const bool own_mesh = model.surfaces.size() == 1;
    summary.nodes.push_back(std::string(static_cast<size_t>(depth) * 2, ' ') + part.name +
                            (own_mesh ? " (mesh)" : " (empty)"));
    if (!own_mesh) scene.AddNonGeometricObject(node);

    // The MDL's own skin, held by the bitmap manager.
    StandInMaterial* own_skin = nullptr;
    if (!model.skin.pixels.empty()) {
      own_skin = scene.AddMaterial("skin", kModelGrey);
      const std::string skin_name = RegisterSkin(path, model.skin);
      own_skin->SetDiffuseMap(materials.TextureNamed(skin_name));
      materials.Textures().NoteEmbedded("skin", "skin", skin_name, true, "");
      summary.materials.push_back(ColourWords("skin", kModelGrey) + ", the model's own skin, " +
                                  SkinWords(model.skin));
    }
    for (size_t s = 0; s < model.surfaces.size(); ++s) {
      const QuakeSurface& surface = model.surfaces[s];
      const std::string surface_name = surface.name.empty() ? part.name : surface.name;
      StandInNode* holder = node;
      if (!own_mesh) {
        holder = scene.AddNode(surface_name, node);
        summary.nodes.push_back(std::string(static_cast<size_t>(depth + 1) * 2, ' ') +
                                surface_name + " (mesh)");
      }
      // The skin file's texture for the surface, when it lists it.
      std::string texture = surface.texture;
      std::string texture_words = texture.empty() ? "" : ", texture " + texture;
      const SkinFile& skin = skins[p];
      if (!skin.path.empty()) {
        auto listed = skin.textures.find(Lower(surface_name));
        if (listed == skin.textures.end()) {
          texture_words += " (not in " + skin.path + ")";
        } else {
          texture = listed->second;
          texture_words =
              (texture.empty() ? ", no texture" : ", texture " + texture) + " (" + skin.path + ")";
        }
      }
      if (model.format == "MD2" && texture.empty() && options.fallback_texture.empty())
        summary.warnings.push_back(part.path +
                                   " names no skin, so it is painted in one grey; give its "
                                   "picture with --texture FILE");
      summary.meshes.push_back((options.player ? part.name + "/" : std::string()) + surface_name +
                               ": " + std::to_string(surface.triangles.size()) + " triangles, " +
                               std::to_string(surface.vertex_count) + " vertices, " +
                               std::to_string(model.frame_count) + " frames" + texture_words);
      scene.AddAnimatedMesh(holder, [figure, p, s](HostTime t, host::Mesh& mesh) {
        figure->FillMesh(p, s, t, mesh);
      });
      StandInMaterial*& material = by_texture[texture];
      if (own_skin) {
        material = own_skin;
      } else if (!material) {
        const std::string name = texture.empty() ? "skin" : texture;
        material = materials.Make(name, kModelGrey, texture);
      }
      holder->SetMaterial(material);
    }
  }

  summary.without_mesh = QuakeMeshlessContents(figure->parts);
  scene.SetAnimationRange(0, figure->End());
  scene.SetTime(0);
  summary.range_start = 0;
  summary.range_end = figure->End();
  return figure;
}

}  // namespace hostapp
