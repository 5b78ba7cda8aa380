#include "hostapp/import/textures/TextureLookup.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "hostapp/import/FilePaths.h"

namespace hostapp {

namespace {

// The image formats the games try for a name, in their order.
constexpr const char* kExtensions[] = {".tga", ".jpg", ".png", ".pcx", ".bmp"};

std::string Join(const std::string& folder, const std::string& name) {
  return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The parts of a slash-separated path; empty parts and "." are dropped.
std::vector<std::string> Parts(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (!part.empty() && part != ".") parts.push_back(part);
    start = end + 1;
  }
  return parts;
}

// The position of a file name's extension dot, or npos; a leading dot starts
// a name, not an extension.
size_t ExtensionDot(const std::string& file_name) {
  const size_t dot = file_name.rfind('.');
  return dot == std::string::npos || dot == 0 ? std::string::npos : dot;
}

// The extensions tried for a file name besides its own, in words.
std::string OtherExtensions(const std::string& file_name) {
  const size_t dot = ExtensionDot(file_name);
  const std::string own = dot == std::string::npos ? "" : Lower(file_name.substr(dot));
  std::vector<std::string> others;
  for (const char* extension : kExtensions)
    if (own != extension) others.push_back(extension);
  std::string words;
  for (size_t i = 0; i < others.size(); ++i)
    words += (i == 0 ? "" : i + 1 == others.size() ? " or " : ", ") + others[i];
  return own.empty() ? "with " + words + " added" : "with " + words + " for " + own;
}

}  // namespace

TextureLookup::TextureLookup(const std::string& scene_directory)
    : scene_directory_(scene_directory.empty() ? "." : scene_directory) {
  bases_.push_back(scene_directory_);
  std::error_code error;
  std::filesystem::path folder = std::filesystem::absolute(scene_directory_, error);
  if (error) return;
  folder = folder.lexically_normal();
  if (!folder.has_filename()) folder = folder.parent_path();
  while (folder.has_parent_path() && folder.parent_path() != folder) {
    folder = folder.parent_path();
    bases_.push_back(folder.string());
  }
}

const TextureLookup::Folder& TextureLookup::Listing(const std::string& directory) {
  auto found = listings_.find(directory);
  if (found != listings_.end()) return found->second;
  Folder& folder = listings_[directory];
  std::error_code error;
  for (std::filesystem::directory_iterator entry(directory, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    folder.by_lower[Lower(name)].push_back(name);
  }
  // Listings come in no particular order; ties go the same way every time.
  for (auto& names : folder.by_lower) std::sort(names.second.begin(), names.second.end());
  return folder;
}

std::string TextureLookup::AnyCase(const std::string& base, const std::vector<std::string>& parts,
                                   size_t from) {
  const std::string& part = parts[from];
  const bool last = from + 1 == parts.size();
  if (part == "..") return last ? std::string() : AnyCase(Join(base, part), parts, from + 1);
  const Folder& folder = Listing(base);
  auto spellings = folder.by_lower.find(Lower(part));
  if (spellings == folder.by_lower.end()) return "";
  // The spelling as written first, then the others.
  std::vector<std::string> names = spellings->second;
  std::stable_partition(names.begin(), names.end(),
                        [&](const std::string& name) { return name == part; });
  for (const std::string& name : names) {
    const std::string path = Join(base, name);
    if (last) {
      if (IsFile(path)) return path;
    } else if (IsDirectory(path)) {
      std::string found = AnyCase(path, parts, from + 1);
      if (!found.empty()) return found;
    }
  }
  return "";
}

std::string TextureLookup::FindUnder(const std::string& base, const std::string& as_written,
                                     const std::vector<std::string>& parts) {
  if (IsFile(as_written)) return as_written;
  std::string found = AnyCase(base, parts, 0);
  if (!found.empty()) return found;
  const std::string& file_name = parts.back();
  const size_t dot = ExtensionDot(file_name);
  const std::string stem = file_name.substr(0, dot);
  const std::string own = dot == std::string::npos ? "" : Lower(file_name.substr(dot));
  std::vector<std::string> renamed = parts;
  for (const char* extension : kExtensions) {
    if (own == extension) continue;
    renamed.back() = stem + extension;
    found = AnyCase(base, renamed, 0);
    if (!found.empty()) return found;
  }
  return "";
}

TextureSearch TextureLookup::Find(const std::string& name) {
  TextureSearch search;
  std::string written = name;
  std::replace(written.begin(), written.end(), '\\', '/');
  const std::vector<std::string> parts = Parts(written);
  if (parts.empty() || parts.back() == "..") {
    search.tried = "the name \"" + name + "\" names no file";
    return search;
  }
  const bool drive_or_share =
      (written.size() >= 2 && std::isalpha(static_cast<unsigned char>(written[0])) &&
       written[1] == ':') ||
      written.compare(0, 2, "//") == 0;
#if defined(_WIN32)
  const bool foreign = false;
  const bool absolute = written[0] == '/' || drive_or_share;
#else
  // Another machine's path: its folders are not this machine's.
  const bool foreign = drive_or_share;
  const bool absolute = !foreign && written[0] == '/';
#endif
  const std::string& file_name = parts.back();
  const std::string ways = " in any case, and " + OtherExtensions(file_name) + ",";

  if (absolute) {
#if defined(_WIN32)
    // Windows finds names in any case itself; only the name's own folder is
    // listed, for the other extensions.
    std::string folder = written.substr(0, written.rfind('/'));
    if (folder.empty() || folder.back() == ':') folder += '/';
    search.path = FindUnder(folder, written, {file_name});
#else
    search.path = FindUnder("/", written, parts);
#endif
    search.tried = "looked for " + written + ways;
  } else if (!foreign) {
    for (const std::string& base : bases_) {
      search.path = FindUnder(base, Join(base, written), parts);
      if (!search.path.empty()) return search;
    }
    search.tried = "looked for " + written + ways + " in " + scene_directory_ +
                   (bases_.size() > 1 ? " and each folder above it" : "");
  }
  if (!search.path.empty()) return search;

  // The bare file name beside the scene, unless that was the first try.
  if (foreign || absolute || parts.size() > 1) {
    search.path = FindUnder(scene_directory_, Join(scene_directory_, file_name), {file_name});
    if (!search.path.empty()) {
      search.tried.clear();
      return search;
    }
    search.tried +=
        (foreign ? "looked for " + file_name + ways
                 : (absolute ? " then for " : ", then for ") + file_name + " the same way") +
        " in " + scene_directory_;
  }
  return search;
}

}  // namespace hostapp
