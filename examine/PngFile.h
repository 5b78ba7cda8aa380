#pragma once
// Saving a picture as a PNG file.

#include <string>

#include "examine/RgbImage.h"

namespace vandrell {

// Writes image to path. False, with the reason in *error, when the image is
// empty or the file cannot be written completely; no partial file is left.
bool WritePngFile(const RgbImage& image, const std::string& path, std::string* error);

}  // namespace vandrell
