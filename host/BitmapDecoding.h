#pragma once
// Image decoding for the bitmap manager; inside hostsdk only, not part of the
// SDK surface the exporter sees.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "host/Bitmap.h"

namespace host {

// A true-colour storage holding a copy of width x height RGBA8 pixels.
std::unique_ptr<BitmapStorage> TrueColorStorage(int width, int height, const uint8_t* rgba);

// The image in the file at path, or in size bytes at data, as true colour;
// null when it cannot be decoded (PNG, JPEG, TGA, BMP, GIF, PSD, HDR are read).
std::unique_ptr<BitmapStorage> DecodeImageFile(const char* path);
std::unique_ptr<BitmapStorage> DecodeImageMemory(const uint8_t* data, size_t size);

}  // namespace host
