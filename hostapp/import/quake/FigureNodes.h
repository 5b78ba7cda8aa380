#pragma once
// A Quake figure's part of the stand-in scene: a node for each part, hung
// below its parent part, holding its one surface itself or a child node for
// each; each surface an animated mesh of the figure, wearing its material
// (an MDL's own skin, or the texture its MD3 skin file or the model names).

#include <memory>
#include <string>
#include <vector>

#include "hostapp/import/ImportOptions.h"
#include "hostapp/import/quake/QuakeFigure.h"
#include "hostapp/import/textures/MaterialMaker.h"
#include "hostapp/import/textures/SkinFiles.h"
#include "hostapp/scene/StandInScene.h"

namespace hostapp {

// Adds the figure's nodes to scene, a part's before its children's, with the
// skin file of each part (skins, one a part), the model's own skins
// registered under path. Listed in the summary's nodes, meshes and
// materials, a player's meshes by part.
void AddFigureNodes(const std::shared_ptr<QuakeFigure>& figure, const std::vector<SkinFile>& skins,
                    const std::string& path, bool player, MaterialMaker& materials,
                    StandInScene& scene, ImportSummary& summary);

}  // namespace hostapp
