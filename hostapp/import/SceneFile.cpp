#include "hostapp/import/SceneFile.h"

#include <assimp/scene.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <system_error>

namespace hostapp {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string Extension(const std::string& path) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return Lower(path.substr(dot + 1));
}

std::string Directory(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool IsFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string FileInAnyCase(const std::string& folder, const std::string& name) {
  if (IsFile(folder + "/" + name)) return folder + "/" + name;
  const std::string wanted = Lower(name);
  std::error_code error;
  std::string found;
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string candidate = entry->path().filename().string();
    if (Lower(candidate) == wanted && (found.empty() || candidate < found) &&
        IsFile(folder + "/" + candidate))
      found = candidate;
  }
  return found.empty() ? "" : folder + "/" + found;
}

bool IsQuakeFamily(const std::string& extension) {
  return extension == "md2" || extension == "md3" || extension == "mdl" || extension == "mdc";
}

bool HasAssimpKeyframes(const std::string& extension) { return extension == "mdc"; }

}  // namespace hostapp
