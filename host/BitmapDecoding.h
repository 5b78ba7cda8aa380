#pragma once
// Image decoding for the bitmap manager; inside hostsdk only, not part of the
// SDK surface the exporter sees.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "host/Bitmap.h"

namespace host {

// A true-colour storage holding a copy of width x height RGBA8 pixels.
std::unique_ptr<BitmapStorage> TrueColorStorage(int width, int height, const uint8_t* rgba);

// The image in the file at path, or in size bytes at data, as true colour
// (PNG, JPEG, TGA, BMP, PCX, GIF, PSD, HDR are read); null when it cannot be
// decoded, with the reason in *reason when given, in words that follow
// "cannot be read: " ("the file is empty", "the PCX pixel data ends early").
std::unique_ptr<BitmapStorage> DecodeImageFile(const char* path, std::string* reason = nullptr);
std::unique_ptr<BitmapStorage> DecodeImageMemory(const uint8_t* data, size_t size,
                                                 std::string* reason = nullptr);

}  // namespace host
