#pragma once
// Quake-family models into the stand-in scene with our own readers: one MDL,
// MD2 or MD3 file as it is, or a Quake III player assembled from its three
// models as the games assemble it.
//
// The import in steps: the parts read (QuakeModel.h), their clips laid out
// on the timeline (QuakeClips.h), the turn and unit, the MD3 skin files, then
// the nodes, meshes and materials (FigureNodes.h).

#include <memory>
#include <string>

#include "hostapp/import/ImportOptions.h"
#include "hostapp/import/quake/QuakeFigure.h"
#include "hostapp/scene/StandInScene.h"

namespace hostapp {

// Whether path is read by our own readers: an MD2, MD3 or IQM file by its
// name, or any file whose first bytes name an MDL, MD2, MD3 or IQM model (MDL
// files of other games, which share the extension, go to Assimp).
bool ReadByQuakeReaders(const std::string& path);

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
