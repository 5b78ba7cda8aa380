// GetFullPathNameA for paths of either family: '/' and '\' both separate
// components, and a drive letter ("C:") makes a path absolute, so Windows
// paths handed to the exporter resolve the way they would on Windows.
#include <unistd.h>
#include <windows.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "Win32StandIn.h"

namespace {

bool g_full_path_fails = false;  // tests: no path resolves

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// A path component and the separator written before it.
struct Component {
  char separator;
  std::string name;
};

// Appends the components of path (which has no root) to *components: runs
// of separators collapse into their first character, "." disappears and ".."
// removes the component before it, never the root. *trailing is the
// separator the path ends with, or 0.
void AddComponents(const std::string& path, std::vector<Component>* components, char* trailing) {
  char separator = 0;
  size_t i = 0;
  *trailing = 0;
  while (i < path.size()) {
    if (IsSeparator(path[i])) {
      separator = path[i];
      while (i < path.size() && IsSeparator(path[i])) ++i;
      if (i == path.size()) *trailing = separator;
      continue;
    }
    const size_t start = i;
    while (i < path.size() && !IsSeparator(path[i])) ++i;
    const std::string name = path.substr(start, i - start);
    if (name == "..") {
      if (!components->empty()) components->pop_back();
    } else if (name != ".") {
      components->push_back({separator, name});
    }
    separator = 0;
  }
}

}  // namespace

void win32::SetFullPathNameFails(bool fails) { g_full_path_fails = fails; }

extern "C" DWORD WINAPI GetFullPathNameA(LPCSTR fileName, DWORD bufferLength, LPSTR buffer,
                                         LPSTR* filePart) {
  if (!fileName || !fileName[0] || g_full_path_fails) return 0;
  const std::string name = fileName;

  // The root is kept as written: "C:\", "C:/", "/" or "\". A drive letter
  // without a separator ("C:file") is taken from the drive's root, as there
  // is no current folder per drive here.
  std::string root;
  std::string rest;
  std::vector<Component> components;
  char trailing = 0;
  if (name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':') {
    const char separator = name.size() > 2 && IsSeparator(name[2]) ? name[2] : '\\';
    root = name.substr(0, 2) + separator;
    rest = name.substr(2);
  } else if (IsSeparator(name[0])) {
    root = std::string(1, name[0]);
    rest = name;
  } else {
    // Relative: below the current folder, joined with '/'.
    std::vector<char> cwd(256);
    while (!getcwd(cwd.data(), cwd.size())) {
      if (errno != ERANGE) return 0;
      cwd.resize(cwd.size() * 2);
    }
    const std::string current = cwd.data();
    root = current.substr(0, 1);
    char ignored = 0;
    AddComponents(current.substr(1), &components, &ignored);
    rest = "/" + name;
  }
  AddComponents(rest, &components, &trailing);

  std::string result = root;
  size_t file_part = std::string::npos;
  for (size_t i = 0; i < components.size(); ++i) {
    // The first component follows the root, which already ends in a separator.
    if (i > 0) result += components[i].separator ? components[i].separator : '/';
    file_part = result.size();
    result += components[i].name;
  }
  // A path ending in a separator names a folder: it keeps the separator and
  // has no file-name part. So does a bare root.
  if (components.empty()) {
    file_part = std::string::npos;
  } else if (trailing) {
    result += trailing;
    file_part = std::string::npos;
  }

  // The count excludes the terminating zero when the result fits, and
  // includes it when it does not (the buffer is then left alone).
  if (!buffer || bufferLength <= result.size()) return static_cast<DWORD>(result.size() + 1);
  std::memcpy(buffer, result.c_str(), result.size() + 1);
  if (filePart) *filePart = file_part == std::string::npos ? nullptr : buffer + file_part;
  return static_cast<DWORD>(result.size());
}
