#pragma once
// What the Assimp route learns of a scene file from its kind and settings:
// the turn from its axes to the host's, whether it holds a Quake-family
// model, and whether Assimp hands it over one keyframe at a time.

#include <string>

#include "host/Geometry.h"
#include "hostapp/import/FormatConventions.h"

struct aiScene;

namespace hostapp {

// MD2, MD3, MDL and MDC: the Quake family, in Quake units and facing +X.
bool UsesQuakeAxes(const std::string& extension);
// MDC: vertex keyframes that Assimp hands over one import at a time (our own
// readers take MDL, MD2 and MD3 files).
bool HasAssimpKeyframes(const std::string& extension);

// The turn from a file's axes to the host's (right-handed, Z up, front -Y),
// as a row-vector transform: row i is where the file's axis i goes. An FBX
// file's axis settings say its axes (right to +X, front to -Y, up to +Z),
// unless choice names an up axis; every other file follows its format's
// conventions (FormatConventions.h). choice's turn comes last.
host::Matrix3 FileAxesToHost(const std::string& extension, const aiScene* scene,
                             const AxesChoice& choice);
// The same in words, for listings.
std::string FileAxesWords(const std::string& extension, const aiScene* scene,
                          const AxesChoice& choice);

}  // namespace hostapp
