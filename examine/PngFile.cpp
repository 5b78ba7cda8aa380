// PNG encoding is stb_image_write's; the file itself is written here so that
// a failed write is noticed and the partial file removed.
#include "examine/PngFile.h"

#include <cstdio>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace vandrell {

namespace {

void Append(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  const auto* bytes = static_cast<const uint8_t*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

bool EncodePng(const RgbImage& image, std::vector<uint8_t>* png, std::string* error) {
  png->clear();
  if (image.width <= 0 || image.height <= 0) {
    *error = "the picture is empty";
    return false;
  }
  if (!stbi_write_png_to_func(Append, png, image.width, image.height, 3, image.pixels.data(),
                              image.width * 3)) {
    *error = "the picture could not be encoded";
    return false;
  }
  return true;
}

bool WritePngFile(const RgbImage& image, const std::string& path, std::string* error) {
  std::vector<uint8_t> png;
  if (!EncodePng(image, &png, error)) return false;
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) {
    *error = "cannot create " + path;
    return false;
  }
  bool ok = std::fwrite(png.data(), 1, png.size(), out) == png.size();
  if (std::fclose(out) != 0) ok = false;
  if (!ok) {
    *error = "write error on " + path;
    std::remove(path.c_str());
  }
  return ok;
}

}  // namespace vandrell
