#pragma once
// Finds the image file a scene names for a texture the way the games and the
// artists' tools find it. Quake-family files name textures without an
// extension (the engine tries the image formats in turn), in whatever case
// the artist typed (the games' archives ignore case) and relative to the
// game's root folder rather than to the model's; files made on Windows carry
// names whose case differs from the file's. The order, first hit winning:
//
//   for each base folder: the scene's folder, then each folder above it up to
//   the root of the file system,
//     1. base/NAME as written,
//     2. base/NAME with every folder and the file name in any case,
//     3. base/NAME without its extension (or with none) plus .tga, .jpg, .png,
//        .pcx and .bmp in that order, in any case;
//   then the bare file name of NAME in the scene's folder, the same three ways.
//
// An absolute NAME is tried the three ways from its own folder instead of
// from the bases; one from another machine (a drive letter or a network
// share, where this is not Windows) only by its bare file name. Backslashes
// count as slashes.
//
// A lookup lists each folder it looks into at most once, however many names
// it is asked for: one lookup serves one import.

#include <map>
#include <string>
#include <vector>

namespace hostapp {

struct TextureSearch {
  // The file found, or empty. When NAME is found as written relative to the
  // scene's folder, this is exactly that folder, "/" and NAME.
  std::string path;
  // When nothing was found: what was looked for, in words.
  std::string tried;
};

class TextureLookup {
 public:
  // For the names a scene file in scene_directory writes.
  explicit TextureLookup(const std::string& scene_directory);

  TextureSearch Find(const std::string& name);

  // The scene's folder, then each folder above it (absolute).
  const std::vector<std::string>& Bases() const { return bases_; }

 private:
  struct Folder {
    // Entry names by their lower-case spelling; several may share one.
    std::map<std::string, std::vector<std::string>> by_lower;
  };

  // The three ways of NAME's parts under base; the path of the first hit or
  // empty.
  std::string FindUnder(const std::string& base, const std::string& as_written,
                        const std::vector<std::string>& parts);
  // base/parts with each part matched in any case (an exact spelling first),
  // the last one a file and the others folders; empty when there is none.
  std::string AnyCase(const std::string& base, const std::vector<std::string>& parts, size_t from);
  const Folder& Listing(const std::string& directory);

  std::string scene_directory_;
  // The scene's folder as given, then each folder above it as absolute paths.
  std::vector<std::string> bases_;
  std::map<std::string, Folder> listings_;
};

}  // namespace hostapp
