#pragma once
// Reading a scene file with Assimp: once, or for an MDC file once for each of
// its vertex keyframes.

#include <string>

#include "hostapp/import/assimp/ImportedAnimation.h"

namespace hostapp {

// Reads path (whose extension is given) into animation.scene and, for an MDC
// file, every keyframe into animation.keyframes, the first being
// animation.scene; animation.importers keep the scenes. False with a reason
// in error when the file cannot be read or holds no scene.
bool ReadWithAssimp(const std::string& path, const std::string& extension,
                    ImportedAnimation& animation, std::string& error);

// The frame count an MDC file's header states (magic "IDPC", version, a
// 64-byte name, flags, then the count at byte 76), or 0 when the file is too
// short or not an MDC file. The keyframes asked for stop there.
int MdcFrameCount(const std::string& path);

}  // namespace hostapp
