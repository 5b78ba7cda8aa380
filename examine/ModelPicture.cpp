// The skin through the palette, one frame, and the contact sheet with its
// labels (lettering from stb_easy_font, whose quads are filled here).
#include "examine/ModelPicture.h"

#include <stb/stb_easy_font.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "examine/FrameRenderer.h"
#include "mdlformat/QuakePalette.h"

namespace vandrell {

namespace {

constexpr Rgb kLabelColour = {240, 240, 240};

// The font knows the printable ASCII characters only; a name from a damaged
// file may hold any byte.
std::string Printable(const std::string& text) {
  std::string out;
  for (char c : text) out += (c >= 32 && c <= 126) ? c : '?';
  return out;
}

// Letters 12 units tall at zoom 1, their top left at (x, y); cut at the
// picture's edges.
void DrawText(RgbImage* image, int x, int y, int zoom, const std::string& text) {
  std::string printable = Printable(text);
  // Generous: a quad is 64 bytes, and quads beyond the buffer are dropped.
  std::vector<char> buffer(printable.size() * 1024 + 64);
  const int quads = stb_easy_font_print(0, 0, printable.data(), nullptr, buffer.data(),
                                        static_cast<int>(buffer.size()));
  // Each quad is four vertices of x, y, z (floats) and a colour (4 bytes).
  for (int q = 0; q < quads; ++q) {
    const float* first = reinterpret_cast<const float*>(buffer.data() + q * 64);
    const float* third = reinterpret_cast<const float*>(buffer.data() + q * 64 + 32);
    const int left = x + static_cast<int>(std::lround(first[0] * zoom));
    const int top = y + static_cast<int>(std::lround(first[1] * zoom));
    const int right = x + static_cast<int>(std::lround(third[0] * zoom));
    const int bottom = y + static_cast<int>(std::lround(third[1] * zoom));
    for (int py = std::max(top, 0); py < std::min(bottom, image->height); ++py) {
      for (int px = std::max(left, 0); px < std::min(right, image->width); ++px)
        image->Set(px, py, kLabelColour);
    }
  }
}

int TextWidth(const std::string& text, int zoom) {
  std::string printable = Printable(text);
  return stb_easy_font_width(printable.data()) * zoom;
}

// Lettering twice the font's size where a cell is wide enough for it.
int Zoom(int cell_width) { return cell_width >= 150 ? 2 : 1; }
int LabelHeight(int cell_width) { return 14 * Zoom(cell_width); }

}  // namespace

RgbImage SkinPicture(const MdlFile& file, size_t index) {
  const MdlFileHeader& h = file.header;
  if (index >= file.skins.size() || h.skinwidth <= 0 || h.skinheight <= 0) return RgbImage();
  RgbImage image(h.skinwidth, h.skinheight, {});
  const std::vector<uint8_t>& pixels = file.skins[index].pixels;
  for (int y = 0; y < h.skinheight; ++y) {
    for (int x = 0; x < h.skinwidth; ++x) {
      const uint8_t* c =
          kQuakePaletteRgb[pixels[static_cast<size_t>(y) * static_cast<size_t>(h.skinwidth) + x]];
      image.Set(x, y, {c[0], c[1], c[2]});
    }
  }
  return image;
}

RgbImage RenderFrame(const MdlFile& file, size_t index, int width, int height) {
  RgbImage image(width, height, kPreviewBackground);
  DrawFrame(file, index, FrameViewBounds(file, index), &image, 0, 0, width, height);
  return image;
}

RgbImage RenderContactSheet(const MdlFile& file, int width, int height, int max_frames) {
  RgbImage image(width, height, kPreviewBackground);
  const size_t frames = file.frames.size();
  if (frames == 0 || max_frames < 1) return image;
  const size_t count = std::min(frames, static_cast<size_t>(max_frames));
  std::vector<size_t> chosen;
  for (size_t k = 0; k < count; ++k)
    chosen.push_back(count == 1 ? 0 : (k * (frames - 1) + (count - 1) / 2) / (count - 1));

  // The grid that gives each figure the most room, and of two that give the
  // same, the one with fewer empty cells.
  int columns = 1, best_room = -1, best_empty = 0;
  for (int c = 1; c <= static_cast<int>(count); ++c) {
    const int r = static_cast<int>((count + c - 1) / c);
    const int room = std::min(width / c, height / r - LabelHeight(width / c));
    const int empty = c * r - static_cast<int>(count);
    if (room > best_room || (room == best_room && empty < best_empty)) {
      columns = c;
      best_room = room;
      best_empty = empty;
    }
  }
  const int rows = static_cast<int>((count + columns - 1) / columns);
  const int cell_width = width / columns, cell_height = height / rows;
  const int zoom = Zoom(cell_width);
  const int label_height = LabelHeight(cell_width);

  ViewBounds fit;
  for (size_t index : chosen) fit.Add(FrameViewBounds(file, index));
  for (size_t k = 0; k < count; ++k) {
    const int x0 = static_cast<int>(k % columns) * cell_width;
    const int y0 = static_cast<int>(k / columns) * cell_height;
    DrawFrame(file, chosen[k], fit, &image, x0, y0, cell_width,
              std::max(1, cell_height - label_height));
    const std::string label = std::to_string(chosen[k]) + " " + file.frames[chosen[k]].name;
    DrawText(&image, x0 + std::max(0, (cell_width - TextWidth(label, zoom)) / 2),
             y0 + cell_height - label_height + zoom, zoom, label);
  }
  return image;
}

}  // namespace vandrell
