#include "hostapp/import/quake/QuakeImport.h"

#include <fstream>
#include <set>

#include "hostapp/import/FilePaths.h"
#include "hostapp/import/FileToHost.h"
#include "hostapp/import/FormatConventions.h"
#include "hostapp/import/quake/FigureNodes.h"
#include "hostapp/import/quake/QuakeClips.h"
#include "hostapp/import/textures/MaterialMaker.h"
#include "hostapp/import/textures/SkinFiles.h"

namespace hostapp {

namespace {

// The index of the tag named name (in any case), or -1.
int FindTag(const QuakeModel& model, const std::string& name) {
  for (size_t t = 0; t < model.tags.size(); ++t)
    if (Lower(model.tags[t].name) == name) return static_cast<int>(t);
  return -1;
}

// The skin file of each part (an empty one for a part without), of the skin
// chosen (empty for "default", which a part need not have); false with the
// reason in *error when a chosen skin is not there for every part, or is
// chosen for models other than MD3.
// A part without a default skin file that has others gets a warning naming
// them, for --skin.
bool ReadSkinFiles(const std::vector<QuakeFigure::Part>& parts, const std::string& chosen,
                   std::vector<SkinFile>* skins, std::vector<std::string>* warnings,
                   std::string* error) {
  const std::string name = chosen.empty() ? "default" : chosen;
  // The default skin files missing where a part has others, and those others.
  std::vector<std::string> undressed;
  std::set<std::string> others;
  for (const QuakeFigure::Part& part : parts) {
    skins->emplace_back();
    if (part.model.format != "MD3") {
      if (chosen.empty()) continue;
      *error = SkinNeedsMd3(chosen, part.path + " is an " + part.model.format + " model");
      return false;
    }
    const std::string file = FindSkinFile(part.path, name);
    if (file.empty()) {
      const std::vector<std::string> names = SkinNames(part.path);
      if (chosen.empty()) {
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
    warnings->push_back("no " + missing + " in " + Directory(parts.front().path) +
                        ": the surfaces wear the shaders they name; the skins there: " + listed +
                        " (choose one with --skin NAME)");
  }
  return true;
}

// What parts without a triangle hold, for the summary; empty when some part
// has one.
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

// The model at path, or with player the player whose folder or part path
// names: its parts into *parts, its clips into *clips and the path textures
// are looked for beside (a player's first part) into *model_path. What was
// odd in its files goes into *warnings.
bool ReadFigure(const std::string& path, bool player, std::vector<QuakeFigure::Part>* parts,
                std::vector<QuakeClip>* clips, std::string* model_path,
                std::vector<std::string>* warnings, std::string* error) {
  *model_path = path;
  if (player) {
    std::string config_path;
    if (!ReadPlayer(path, parts, &config_path, model_path, error)) return false;
    *clips = PlayerClips(*parts, config_path, warnings);
  } else {
    QuakeFigure::Part part;
    if (!ReadPart(path, Stem(path), &part, error)) return false;
    *clips = ModelClips(part.model);
    parts->push_back(std::move(part));
  }
  for (const QuakeFigure::Part& part : *parts)
    for (const std::string& note : part.model.notes)
      warnings->push_back(part.name + "." + Lower(part.model.format) + ": " + note);
  return true;
}

}  // namespace

bool ReadByQuakeReaders(const std::string& path) {
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
  std::string model_path;
  if (!ReadFigure(path, options.player, &figure->parts, &clips, &model_path, &summary.warnings,
                  error) ||
      !LayOutTimeline(clips, options.animation, path, ticks_per_frame, &figure->timeline,
                      &summary.clips, &summary.timeline, error))
    return nullptr;

  // Quake models are turned to face the host's front; the file's units
  // become the host's inches.
  const std::string format = options.player ? "MD3" : figure->parts.front().model.format;
  const FileUnit unit =
      ChosenUnit(kMetresPerInch, 1.0, "Quake units (" + format + ")", options.units);
  summary.unit = unit.description;
  summary.unit_size = unit.host_units;
  const AxesChoice axes{options.up, options.turn};
  figure->to_host = ScaledToHost(ConventionToHost(Lower(format), axes), unit.factor);
  summary.axes = ConventionWords(Lower(format), axes);
  figure->PrepareMeshes();

  // An MD2 model that names no skin is painted grey unless given one.
  const QuakeModel& first = figure->parts.front().model;
  if (first.format == "MD2" && !first.surfaces.empty() && first.surfaces[0].texture.empty() &&
      options.fallback_texture.empty())
    summary.warnings.push_back(path +
                               " names no skin, so it is painted in one grey; give its picture "
                               "with --texture FILE");

  // Each MD3 part's skin file, whose textures win over the surfaces' shaders.
  std::vector<SkinFile> skins;
  if (!ReadSkinFiles(figure->parts, options.skin, &skins, &summary.warnings, error)) return nullptr;
  // Quake III models name shaders of the game's scripts, or images.
  MaterialMaker materials(model_path, format == "MD3", options, scene, summary);
  AddFigureNodes(figure, skins, path, options.player, materials, scene, summary);

  summary.without_mesh = QuakeMeshlessContents(figure->parts);
  scene.SetAnimationRange(0, figure->End());
  scene.SetTime(0);
  summary.range_start = 0;
  summary.range_end = figure->End();
  return figure;
}

}  // namespace hostapp
