#pragma once
// A picture as PNG bytes, and saved as a PNG file.

#include <cstdint>
#include <string>
#include <vector>

#include "examine/RgbImage.h"

namespace vandrell {

// The PNG encoding of image. False, with the reason in *error, when the image
// is empty or cannot be encoded.
bool EncodePng(const RgbImage& image, std::vector<uint8_t>* png, std::string* error);

// Writes image to path. False, with the reason in *error, when the image is
// empty or the file cannot be written completely; no partial file is left.
bool WritePngFile(const RgbImage& image, const std::string& path, std::string* error);

}  // namespace vandrell
