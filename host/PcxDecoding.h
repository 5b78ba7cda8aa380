#pragma once
// PCX images (the skins of Quake II models, among others) for the image
// decoding; inside hostsdk only. Read: 8 bits a pixel in one plane with the
// 256-colour palette at the end of the file, and 8 bits a pixel in three
// (RGB) or four (RGBA) planes, run-length encoded or not.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace host {

// Whether data starts as a PCX header does: the maker byte 10, a known
// version, an encoding of 0 or 1 and 1, 2, 4 or 8 bits a pixel. No TGA, the
// only other format without a signature, starts that way.
bool LooksLikePcx(const uint8_t* data, size_t size);

// Decodes a PCX image into *rgba: width x height pixels of four bytes, the
// top row first. False with the reason in *reason (a kind of PCX that is not
// read, or damage: a header that does not add up, pixel data or palette
// missing); *width, *height and *rgba are then unspecified.
bool DecodePcx(const uint8_t* data, size_t size, int* width, int* height,
               std::vector<uint8_t>* rgba, std::string* reason);

}  // namespace host
