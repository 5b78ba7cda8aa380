#include "hostapp/import/assimp/ReadWithAssimp.h"

#include <assimp/config.h>
#include <assimp/postprocess.h>

#include <fstream>

#include "hostapp/import/assimp/FileAxes.h"
#include "mdlformat/ByteCursor.h"

namespace hostapp {

namespace {

// No file holds more keyframes than this; the count is found by asking.
constexpr int kMaxKeyframes = 4096;

constexpr size_t kMdcFrameCountAt = 76;

}  // namespace

int MdcFrameCount(const std::string& path) {
  uint8_t header[kMdcFrameCountAt + 4];
  std::ifstream in(path, std::ios::binary);
  if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return 0;
  vandrell::ByteCursor cursor(header, sizeof header);
  if (cursor.FixedString(4) != "IDPC") return 0;
  cursor.Seek(kMdcFrameCountAt);
  const int32_t frames = cursor.Int32();
  return frames > 0 ? frames : 0;
}

bool ReadWithAssimp(const std::string& path, const std::string& extension,
                    ImportedAnimation& animation, std::string& error) {
  const bool quake = HasAssimpKeyframes(extension);
  // Keyframes must keep their vertices in file order from
  // keyframe to keyframe, so they are read without any post-processing.
  // Other files are triangulated and split by primitive type; meshes of points
  // or lines then hold no triangle and are dropped below. (Asking Assimp to
  // remove them would fail a file that holds nothing else, which is a valid,
  // empty scene.)
  const unsigned flags =
      quake ? 0u : static_cast<unsigned>(aiProcess_Triangulate | aiProcess_SortByPType);
  auto read = [&](int keyframe) -> const aiScene* {
    auto importer = std::make_unique<Assimp::Importer>();
    if (quake) importer->SetPropertyInteger(AI_CONFIG_IMPORT_MDC_KEYFRAME, keyframe);
    const aiScene* result = importer->ReadFile(path, flags);
    if (!result && keyframe == 0) error = importer->GetErrorString();
    if (result) animation.importers.push_back(std::move(importer));
    return result;
  };
  animation.scene = read(0);
  if (!animation.scene || !animation.scene->mRootNode) {
    if (error.empty()) error = "the file holds no scene";
    // The import library's words name its own search, not the file.
    if (error.rfind("No suitable reader found", 0) == 0)
      error = "no reader here takes " +
              (extension.empty() ? std::string("files without an extension")
                                 : "." + extension + " files") +
              " with these contents (mdlexport --help lists the formats read)";
    error = "cannot read " + path + ": " + error;
    return false;
  }
  const aiScene* source = animation.scene;
  if (quake) {
    animation.keyframes.push_back(source);
    // The import library may hand over a keyframe past the file's last
    // rather than refuse it; the header's count is the end.
    const int stated = MdcFrameCount(path);
    const int limit = stated > 0 && stated < kMaxKeyframes ? stated : kMaxKeyframes;
    for (int k = 1; k < limit; ++k) {
      const aiScene* keyframe = read(k);
      if (!keyframe || keyframe->mNumMeshes != source->mNumMeshes) break;
      bool same = true;
      for (unsigned m = 0; m < source->mNumMeshes; ++m)
        same = same && keyframe->mMeshes[m]->mNumVertices == source->mMeshes[m]->mNumVertices;
      if (!same) break;
      animation.keyframes.push_back(keyframe);
    }
  }
  return true;
}

}  // namespace hostapp
