#pragma once
// The model's size in Quake units, for listing, and the scale that gives it
// a chosen height.

#include <string>
#include <vector>

#include "hostapp/import/ImportOptions.h"
#include "hostapp/scene/StandInScene.h"

namespace hostapp {

// "unit: ..." and "size: ..." lines: the file's unit and the width, depth
// and height of the scene's triangles at time t.
std::vector<std::string> UnitAndSizeLines(const ImportSummary& summary, StandInScene& scene,
                                          HostTime t);

// The model scale, in percent and written as the dialog's scale field takes
// it, that makes the scene's triangles height units tall (along Z) at time
// t. False with a reason when the scene has no height to scale.
bool ScaleForHeight(StandInScene& scene, HostTime t, double height, std::string* percent,
                    std::string* error);

}  // namespace hostapp
