// Any bytes handed to the MDL reader: it accepts or refuses them, never reads
// outside them, and what it accepts is consistent with its own header; what
// it accepts converts to glTF (or is refused with a reason) as mdlinfo --gltf
// converts it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "examine/MdlToGltf.h"
#include "mdlformat/MdlReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vandrell::MdlFile file;
  std::string error;
  if (!vandrell::ReadMdl(data, size, &file, &error)) {
    // A refusal always says why.
    if (error.empty()) std::abort();
    return 0;
  }
  const vandrell::MdlFileHeader& h = file.header;
  if (h.numverts < 0 || h.numtris < 0 || h.numframes < 0 || h.numskins < 0) std::abort();
  if (file.skin_vertices.size() != static_cast<size_t>(h.numverts)) std::abort();
  if (file.triangles.size() != static_cast<size_t>(h.numtris)) std::abort();
  if (file.frame_types.size() != static_cast<size_t>(h.numframes)) std::abort();
  for (const vandrell::MdlTriangle& triangle : file.triangles) {
    for (int32_t v : triangle.vertices) {
      if (v < 0 || v >= h.numverts) std::abort();
    }
  }
  for (const vandrell::MdlFrame& frame : file.frames) {
    if (frame.vertices.size() != static_cast<size_t>(h.numverts)) std::abort();
    if (frame.name[16] != '\0') std::abort();
    for (const vandrell::MdlPackedVertex& v : frame.vertices) {
      if (v.normal_index >= 162) std::abort();
    }
  }
  for (const vandrell::MdlSkinImage& skin : file.skins) {
    if (skin.pixels.size() != static_cast<size_t>(h.skinwidth) * static_cast<size_t>(h.skinheight))
      std::abort();
  }
  // Decoding any packed value of the accepted header is defined.
  for (int axis = 0; axis < 3; ++axis) {
    volatile float low = vandrell::DecodeCoordinate(h, axis, 0);
    volatile float high = vandrell::DecodeCoordinate(h, axis, 255);
    (void)low;
    (void)high;
  }
  vandrell::GltfAsset asset;
  if (!vandrell::BuildGltf(file, {}, "", &asset, &error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (asset.json.empty() || asset.binary.size() % 4 != 0) std::abort();
  const std::vector<uint8_t> glb = vandrell::GlbBytes(asset);
  if (glb.size() % 4 != 0) std::abort();
  return 0;
}
