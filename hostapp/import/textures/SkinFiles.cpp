#include "hostapp/import/textures/SkinFiles.h"

#include <filesystem>
#include <set>
#include <sstream>
#include <system_error>

#include "hostapp/import/FilePaths.h"
#include "mdlformat/FileBytes.h"

namespace hostapp {

namespace {

std::string Trimmed(const std::string& text) {
  const char* space = " \t\r\n\"";
  const size_t first = text.find_first_not_of(space);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(space) - first + 1);
}

}  // namespace

std::map<std::string, std::string> ParseSkinFile(const std::string& text) {
  std::map<std::string, std::string> textures;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t comma = line.find(',');
    const std::string surface = Lower(Trimmed(line.substr(0, comma)));
    if (surface.empty()) continue;
    textures[surface] = comma == std::string::npos ? "" : Trimmed(line.substr(comma + 1));
  }
  return textures;
}

std::string FindSkinFile(const std::string& model_path, const std::string& skin) {
  const std::string folder = Directory(model_path);
  const std::string stem = Stem(model_path);
  std::string found = FileInAnyCase(folder, stem + "_" + skin + ".skin");
  const size_t underscore = stem.rfind('_');
  if (found.empty() && underscore != std::string::npos &&
      (stem.substr(underscore) == "_1" || stem.substr(underscore) == "_2"))
    found = FileInAnyCase(folder, stem.substr(0, underscore) + "_" + skin + ".skin");
  return found;
}

std::vector<std::string> SkinNames(const std::string& model_path) {
  std::string stem = Lower(model_path.substr(model_path.find_last_of('/') + 1));
  stem = stem.substr(0, stem.rfind('.')) + "_";
  std::set<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator entry(Directory(model_path), error), end;
       !error && entry != end; entry.increment(error)) {
    const std::string name = Lower(entry->path().filename().string());
    const size_t suffix = name.size() - 5;
    if (name.size() > stem.size() + 5 && name.compare(0, stem.size(), stem) == 0 &&
        name.compare(suffix, 5, ".skin") == 0)
      names.insert(name.substr(stem.size(), suffix - stem.size()));
  }
  return std::vector<std::string>(names.begin(), names.end());
}

std::string SkinNeedsMd3(const std::string& skin, const std::string& what) {
  return "a skin (" + skin + ") is chosen among an MD3 model's .skin files; " + what;
}

bool ReadSkinFile(const std::string& path, SkinFile* skin, std::string* error) {
  std::string text;
  if (!vandrell::ReadFileText(path, &text, nullptr)) {
    *error = "cannot read " + path;
    return false;
  }
  skin->path = path;
  skin->textures = ParseSkinFile(text);
  return true;
}

}  // namespace hostapp
