#include "hostapp/import/ForeignFiles.h"

#include <cstring>
#include <fstream>

#include "hostapp/import/FilePaths.h"

namespace hostapp {

namespace {

// A Git LFS pointer is a few lines of text, the first its version line,
// which starts so whatever version it names.
constexpr char kLfsPointer[] = "version https://git-lfs.github.com/";

struct ForeignFormat {
  const char* name;  // with its article, as it ends a sentence
  const char* extensions[4];
  const char* magic;  // the first bytes, or null
};

const ForeignFormat kForeignFormats[] = {
    {"a USD (Universal Scene Description) file", {"usd", "usda", "usdc", "usdz"}, "PXR-USDC"},
    {"a USD (Universal Scene Description) file", {}, "#usda"},
    {"an Alembic cache", {"abc"}, "Ogawa"},
    {"a 3ds Max scene", {"max"}, nullptr},
    {"a Maya scene", {"ma", "mb"}, nullptr},
    {"a SketchUp model", {"skp"}, nullptr},
    {"a MagicaVoxel model", {"vox"}, "VOX "},
    {"a VRML world", {"wrl", "vrml"}, "#VRML"},
};

}  // namespace

std::string ForeignFileReason(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char head[512] = {};
  in.read(head, sizeof head - 1);
  const size_t got = static_cast<size_t>(in.gcount());
  const std::string text(head, got);

  if (text.compare(0, sizeof kLfsPointer - 1, kLfsPointer) == 0) {
    std::string size;
    const size_t at = text.find("\nsize ");
    if (at != std::string::npos)
      size = text.substr(at + 6, text.find_first_not_of("0123456789", at + 6) - (at + 6));
    return "it is a Git LFS pointer, not the file itself" +
           (size.empty() ? std::string() : " (which has " + size + " bytes)") +
           ": the repository was cloned without Git LFS; `git lfs pull` fetches the file";
  }

  const std::string extension = Extension(path);
  for (const ForeignFormat& format : kForeignFormats) {
    bool named = false;
    for (const char* e : format.extensions) named = named || (e && extension == e);
    const bool marked = format.magic && got >= std::strlen(format.magic) &&
                        std::memcmp(head, format.magic, std::strlen(format.magic)) == 0;
    if (named || marked)
      return std::string("it is ") + format.name +
             ", a format mdlexport does not read: export the model from its program as glTF, "
             "FBX or OBJ and convert that";
  }
  return "";
}

}  // namespace hostapp
