#pragma once
// What the importer learns of a scene file from its name and its settings:
// its kind, its folder, whether it exists, and the turn from its axes to the
// host's.

#include <string>

#include "host/Geometry.h"

struct aiScene;

namespace hostapp {

// The file name's extension in lower case, or empty.
std::string Extension(const std::string& path);
// The folder of path, "." for a bare file name.
std::string Directory(const std::string& path);
// Whether path names a regular file.
bool IsFile(const std::string& path);
// MD2, MD3, MDL and MDC: the Quake family, in Quake units and facing +X.
bool IsQuakeFamily(const std::string& extension);
// MDC: vertex keyframes that Assimp hands over one import at a time (our own
// readers take MDL, MD2 and MD3 files).
bool HasAssimpKeyframes(const std::string& extension);

// The turn from a file's axes to the host's (right-handed, Z up, front -Y),
// as a row-vector transform: row i is where the file's axis i goes.
host::Matrix3 FileAxesToHost(const std::string& extension, const aiScene* scene);

}  // namespace hostapp
