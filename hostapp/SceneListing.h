#pragma once
// A readable listing of an imported scene, for mdlexport --list.

#include <string>

#include "hostapp/ImportedScene.h"

namespace hostapp {

// Nodes (as a tree), meshes, materials with their textures, embedded images
// and animation clips with their frame counts at ticks_per_frame.
std::string SceneListing(const ImportedScene& scene, int ticks_per_frame);

// One line per material of a node whose named texture file is missing (and
// is not replaced by a fallback texture), for warnings.
std::string MissingTextureWarnings(const ImportedScene& scene, bool has_fallback);

}  // namespace hostapp
