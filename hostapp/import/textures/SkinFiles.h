#pragma once
// Quake III skin files: beside a model MODEL.md3, MODEL_NAME.skin says which
// texture each of the model's surfaces wears under the skin NAME ("default"
// unless chosen otherwise), one "surface,texture" line a surface; a line
// that names no texture (those of the model's tags, or "surface,") leaves
// the surface without one. Surface names count in any case.

#include <map>
#include <string>
#include <vector>

namespace hostapp {

struct SkinFile {
  std::string path;  // the file read
  // Textures as written, by lower-case surface name; empty for none.
  std::map<std::string, std::string> textures;
};

// The lines of a skin file's text. Spaces and quotes around a name, and
// carriage returns, are dropped.
std::map<std::string, std::string> ParseSkinFile(const std::string& text);

// The skin file of the skin named skin for the model file at model_path:
// MODEL_SKIN.skin in the model's folder, in any case. A model of a lower
// level of detail (MODEL_1.md3, MODEL_2.md3) wears the skin of its full model
// (MODEL_SKIN.skin) when it has none of its own, as the games draw it. Empty
// when there is none.
std::string FindSkinFile(const std::string& model_path, const std::string& skin);

// The skins a model has skin files for, by the NAME of each MODEL_NAME.skin
// beside it (any case; names in lower case, in name order).
std::vector<std::string> SkinNames(const std::string& model_path);

// The refusal of a skin chosen for a file that is no MD3 model: what says
// what the file is instead ("PATH is an MD2 model").
std::string SkinNeedsMd3(const std::string& skin, const std::string& what);

// Reads the skin file at path; false with the reason in *error.
bool ReadSkinFile(const std::string& path, SkinFile* skin, std::string* error);

}  // namespace hostapp
