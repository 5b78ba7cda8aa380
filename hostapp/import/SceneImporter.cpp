#include "hostapp/import/SceneImporter.h"

#include "host/Timing.h"
#include "hostapp/import/FilePaths.h"
#include "hostapp/import/FileToHost.h"
#include "hostapp/import/ForeignFiles.h"
#include "hostapp/import/FormatConventions.h"
#include "hostapp/import/assimp/AssimpImport.h"
#include "hostapp/import/quake/QuakeImport.h"
#include "hostapp/import/textures/SkinFiles.h"

namespace hostapp {

SceneImporter::SceneImporter() = default;
SceneImporter::~SceneImporter() = default;

bool SceneImporter::Import(const std::string& path, const ImportOptions& options,
                           StandInScene& scene) {
  error_.clear();
  summary_ = ImportSummary();

  const int fps = options.frames_per_second;
  if (fps < 1 || host::kTicksPerSecond % fps != 0) {
    error_ =
        "a rate of " + std::to_string(fps) + " frames a second does not divide the host's " +
        std::to_string(host::kTicksPerSecond) +
        " ticks a second (try 1, 2, 4, 5, 8, 10, 12, 15, 16, 20, 24, 25, 30, 32, 40, 48, 50, 60)";
    return false;
  }
  const int ticks_per_frame = host::kTicksPerSecond / fps;
  if (!IsUnitName(options.units)) {
    error_ = "no unit named " + options.units + " (metres, centimetres, inches or file)";
    return false;
  }
  if (!IsUpAxisName(options.up)) {
    error_ = "no up axis named " + options.up + " (x, y, z, -x, -y or -z)";
    return false;
  }
  if (options.turn != 0 && options.turn != 90 && options.turn != 180 && options.turn != 270) {
    error_ = "a turn of " + std::to_string(options.turn) + " degrees (90, 180 or 270)";
    return false;
  }
  if (!options.fallback_texture.empty() && !IsFile(options.fallback_texture)) {
    error_ = "texture " + options.fallback_texture + " not found";
    return false;
  }

  // A file that is not what its name says is named for what it is.
  const std::string foreign = options.player ? "" : ForeignFileReason(path);
  if (!foreign.empty()) {
    error_ = "cannot read " + path + ": " + foreign;
    return false;
  }

  // Quake-family models and players are read by our own readers.
  const bool quake_model = options.player || ReadByQuakeReaders(path);
  if (!options.skin.empty() && !quake_model) {
    error_ = SkinNeedsMd3(options.skin, path + " is no Quake-family model");
    return false;
  }
  if (quake_model) {
    figure_ = ImportQuakeFigure(path, options, ticks_per_frame, scene, summary_, &error_);
    if (!figure_) return false;
    host::SetTicksPerFrame(ticks_per_frame);
    return true;
  }

  animation_ = ImportWithAssimp(path, options, ticks_per_frame, scene, summary_, error_);
  // Assimp refuses a Half-Life model's sequence file, which holds motion for
  // the model that names it: a file read, with nothing to export.
  if (!animation_ && error_.find("from an MDL sequence file") != std::string::npos) {
    error_.clear();
    summary_ = ImportSummary();
    summary_.without_mesh =
        "holds an animation but no mesh (a Half-Life sequence file, whose model names it)";
    return true;
  }
  if (!animation_) return false;
  host::SetTicksPerFrame(ticks_per_frame);
  return true;
}

}  // namespace hostapp
