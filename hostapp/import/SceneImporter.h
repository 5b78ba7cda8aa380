#pragma once
// Fills the stand-in host's scene from a scene file: nodes, meshes, materials
// and textures, and the chosen animation, evaluated at any time. Quake-family
// models (MDL, MD2, MD3, and players of three MD3 models) are read by our own
// readers (quake/), every other format by Assimp (assimp/: node animation,
// skinning, morph targets, the vertex keyframes of MDC files).

#include <memory>
#include <string>

#include "hostapp/import/ImportOptions.h"
#include "hostapp/scene/StandInScene.h"

namespace hostapp {

class ImportedAnimation;  // evaluation state shared by the scene's callbacks
class QuakeFigure;

class SceneImporter {
 public:
  SceneImporter();
  ~SceneImporter();
  SceneImporter(const SceneImporter&) = delete;
  SceneImporter& operator=(const SceneImporter&) = delete;

  // Reads path into scene (which should be empty), sets the animation range,
  // the current time (the range start) and the host's ticks per frame. False
  // with a reason in Error() when the file cannot be read, the options are
  // refused (an unknown clip, a rate that does not divide 4800 ticks a
  // second), or a texture given by the options cannot be found.
  bool Import(const std::string& path, const ImportOptions& options, StandInScene& scene);
  const std::string& Error() const { return error_; }
  const ImportSummary& Summary() const { return summary_; }

 private:
  std::string error_;
  ImportSummary summary_;
  std::shared_ptr<ImportedAnimation> animation_;
  std::shared_ptr<QuakeFigure> figure_;
};

}  // namespace hostapp
