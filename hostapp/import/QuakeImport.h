#pragma once
// Quake-family models into the stand-in scene with our own readers: one MDL,
// MD2 or MD3 file as it is, or a Quake III player assembled from its three
// models as the games assemble it.
//
// A model's clips come from its frame names (see FrameNameClips.h); a
// player's from its animation.cfg (see PlayerConfig.h): a both_* animation
// plays on legs and torso together, a legs_* animation with the torso
// standing (TORSO_STAND), a torso_* animation with the legs idle (LEGS_IDLE),
// and the head keeps its first frame. With no clip named, every clip plays,
// in the file's order.

#include <memory>
#include <string>

#include "hostapp/import/QuakeFigure.h"
#include "hostapp/import/SceneImporter.h"
#include "hostapp/scene/StandInScene.h"

namespace hostapp {

// Whether path is read by our own readers: an MD2, MD3 or IQM file by its
// name, or any file whose first bytes name an MDL, MD2, MD3 or IQM model (MDL
// files of other games, which share the extension, go to Assimp).
bool IsQuakeModelFile(const std::string& path);

// Reads the model at path (with options.player, the player whose folder or
// part path names) into scene: nodes, meshes, materials, the clips
// options.animation chooses, the animation range and the current time.
// Fills summary. Returns the evaluation state the scene's callbacks share,
// or null with a reason in *error (a damaged file, a missing part or tag, a
// clip the model does not have).
std::shared_ptr<QuakeFigure> ImportQuakeFigure(const std::string& path,
                                               const ImportOptions& options, int ticks_per_frame,
                                               StandInScene& scene, ImportSummary& summary,
                                               std::string* error);

}  // namespace hostapp
