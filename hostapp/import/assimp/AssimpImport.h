#pragma once
// Every format but the Quake family's own through Assimp: the scene read, its
// axes and unit turned into the host's, its clips laid out on the timeline,
// its materials made and its node tree built, each node evaluated at any time
// from the file's animation.

#include <memory>
#include <string>

#include "hostapp/import/ImportOptions.h"
#include "hostapp/scene/StandInScene.h"

namespace hostapp {

class ImportedAnimation;

// Reads the scene file at path into scene: nodes, meshes, materials, the
// clips options.animation chooses and the animation range. Fills summary.
// Returns the evaluation state the scene's callbacks share, or null with a
// reason in error (a file Assimp cannot read, a clip the file does not have).
std::shared_ptr<ImportedAnimation> ImportWithAssimp(const std::string& path,
                                                    const ImportOptions& options,
                                                    int ticks_per_frame, StandInScene& scene,
                                                    ImportSummary& summary, std::string& error);

}  // namespace hostapp
