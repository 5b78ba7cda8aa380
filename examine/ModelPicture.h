#pragma once
// Pictures of an MDL model: its skin, and the model drawn in the engine's
// manner (skin-textured, Gouraud lit from the normal table) from a
// three-quarter view in front of the model's left side, on a grey background.

#include <cstddef>

#include "examine/RgbImage.h"
#include "mdlformat/MdlReader.h"

namespace vandrell {

// The background of every rendered picture.
constexpr Rgb kPreviewBackground = {112, 112, 112};

// Skin image index through the Quake palette; an empty picture when the
// model has no such image.
RgbImage SkinPicture(const MdlFile& file, size_t index);

// Frame index (counting group members, 0 .. file.frames.size() - 1) drawn to
// fill most of a width x height picture. Both sizes at least 1.
RgbImage RenderFrame(const MdlFile& file, size_t index, int width, int height);

// Up to max_frames evenly spaced frames, first and last included, each in a
// cell of its own with its number and name below it, all drawn at one scale
// so that movement shows.
RgbImage RenderContactSheet(const MdlFile& file, int width, int height, int max_frames);

}  // namespace vandrell
