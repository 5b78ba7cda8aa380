#pragma once
// Which animated properties of a glTF file hold their keys (the STEP
// interpolation) rather than blend between them. Assimp passes the keys on but
// not how they are to be interpolated, so the importer reads that from the
// file's JSON itself.

#include <map>
#include <string>
#include <vector>

namespace hostapp {

constexpr int kStepTranslation = 1;
constexpr int kStepRotation = 2;
constexpr int kStepScale = 4;

// Per animation, in file order: node name -> the kStep bits of its channels
// that use step keys. Empty when the file is not glTF or cannot be read.
std::vector<std::map<std::string, int>> ReadGltfStepKeys(const std::string& path);

}  // namespace hostapp
