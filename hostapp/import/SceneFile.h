#pragma once
// What the importer learns of a scene file from its name and its settings:
// its kind, its folder and whether it exists (the turn from its axes to the
// host's is in FormatConventions.h); and finding files whose names ignore case.

#include <string>

#include "host/Geometry.h"

struct aiScene;

namespace hostapp {

// The file name's extension in lower case, or empty.
std::string Extension(const std::string& path);
// The folder of path, "." for a bare file name.
std::string Directory(const std::string& path);
// Whether path names a regular file; a folder.
bool IsFile(const std::string& path);
bool IsDirectory(const std::string& path);
// text with A to Z in lower case: how names that ignore case are compared.
std::string Lower(std::string text);
// The regular file in folder whose name is name in any case: the exact
// spelling when there is one, otherwise the first in name order; empty when
// there is none.
std::string FileInAnyCase(const std::string& folder, const std::string& name);
// MD2, MD3, MDL and MDC: the Quake family, in Quake units and facing +X.
bool IsQuakeFamily(const std::string& extension);
// MDC: vertex keyframes that Assimp hands over one import at a time (our own
// readers take MDL, MD2 and MD3 files).
bool HasAssimpKeyframes(const std::string& extension);

}  // namespace hostapp
