#include "hostapp/import/SceneImporter.h"

#include "host/Timing.h"
#include "hostapp/import/FilePaths.h"
#include "hostapp/import/FileToHost.h"
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
  if (!options.fallback_texture.empty() && !IsFile(options.fallback_texture)) {
    error_ = "texture " + options.fallback_texture + " not found";
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
  if (!animation_) return false;
  host::SetTicksPerFrame(ticks_per_frame);
  return true;
}

}  // namespace hostapp
