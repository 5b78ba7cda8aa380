#pragma once
// The scenes the scripted export cases run on, built in code with the
// stand-in scene's builder API. The same source is compiled for Linux and for
// Windows, so both builds export exactly the same scenes. Positions, colours
// and pixels come from integer arithmetic only: no library function whose
// last bit could differ between the two C runtimes takes part.

#include <string>
#include <vector>

#include "hostapp/scene/StandInScene.h"

namespace wintest {

// Fills scene with the scene of that name; false for an unknown name.
bool BuildCaseScene(const std::string& name, hostapp::StandInScene& scene);

// The names BuildCaseScene knows, for error messages.
std::vector<std::string> CaseSceneNames();

}  // namespace wintest
