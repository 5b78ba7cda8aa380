// Orthographic view from 35 degrees round to the model's left and 20 degrees
// above (the model faces +X with Z up). Triangles are drawn from both sides,
// nearest first by depth buffer; skin coordinates are interpolated across the
// screen (linearly: an orthographic view needs no depth correction) and each
// vertex is lit from its normal-table normal, the light blended across the
// triangle as the engine's Gouraud shading does.
#include "examine/FrameRenderer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "mdlformat/NormalTable.h"
#include "mdlformat/QuakePalette.h"

namespace vandrell {

namespace {

struct Vec3 {
  double x, y, z;
};

double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Vec3 Normalised(const Vec3& v) {
  const double length = std::sqrt(Dot(v, v));
  return {v.x / length, v.y / length, v.z / length};
}

// The camera's axes: right and up on the screen, and toward the viewer.
struct View {
  Vec3 right, up, toward, light;
};

const View& TheView() {
  static const View view = [] {
    const double pi = 3.14159265358979323846;
    const double azimuth = 35.0 * pi / 180.0, elevation = 20.0 * pi / 180.0;
    View v;
    v.toward = {std::cos(elevation) * std::cos(azimuth), std::cos(elevation) * std::sin(azimuth),
                std::sin(elevation)};
    // right = forward x Z with forward = -toward; up = right x forward = toward x right.
    v.right = Normalised({-v.toward.y, v.toward.x, 0.0});
    v.up = {v.toward.y * v.right.z - v.toward.z * v.right.y,
            v.toward.z * v.right.x - v.toward.x * v.right.z,
            v.toward.x * v.right.y - v.toward.y * v.right.x};
    // From over the viewer's left shoulder.
    v.light = Normalised({0.7 * v.toward.x - 0.4 * v.right.x + 0.6 * v.up.x,
                          0.7 * v.toward.y - 0.4 * v.right.y + 0.6 * v.up.y,
                          0.7 * v.toward.z - 0.4 * v.right.z + 0.6 * v.up.z});
    return v;
  }();
  return view;
}

Vec3 Position(const MdlFile& file, const MdlPackedVertex& p) {
  return {DecodeCoordinate(file.header, 0, p.x), DecodeCoordinate(file.header, 1, p.y),
          DecodeCoordinate(file.header, 2, p.z)};
}

// What a corner carries into the triangle: screen position, depth toward the
// viewer, skin coordinates in texels and light.
struct Corner {
  double x, y, depth, s, t, light;
};

// Ambient light keeps faces turned away readable, as in the game.
double Light(uint8_t normal_index) {
  const float* n = NormalTable[normal_index < mdl_format::kNormalCount ? normal_index : 0];
  const double facing = Dot({n[0], n[1], n[2]}, TheView().light);
  return 0.35 + 0.8 * std::max(0.0, facing);
}

Rgb Texel(const MdlFile& file, double s, double t) {
  const MdlFileHeader& h = file.header;
  if (file.skins.empty() || h.skinwidth <= 0 || h.skinheight <= 0) return {180, 180, 180};
  // Corners often sit exactly on a texel's edge; interpolation must not drop
  // them into the texel before it.
  const double nudge = 1e-6;
  // Clamped before the conversion: a damaged model's coordinates can be huge.
  const int column = static_cast<int>(std::clamp(std::floor(s + nudge), 0.0, h.skinwidth - 1.0));
  const int row = static_cast<int>(std::clamp(std::floor(t + nudge), 0.0, h.skinheight - 1.0));
  const uint8_t index =
      file.skins[0].pixels[static_cast<size_t>(row) * static_cast<size_t>(h.skinwidth) +
                           static_cast<size_t>(column)];
  const uint8_t* c = kQuakePaletteRgb[index];
  return {c[0], c[1], c[2]};
}

uint8_t Shade(uint8_t level, double light) {
  return static_cast<uint8_t>(std::min(255.0, level * light));
}

class Rasteriser {
 public:
  Rasteriser(const MdlFile& file, RgbImage* image, int x0, int y0, int width, int height)
      : file_(file),
        image_(image),
        x0_(x0),
        y0_(y0),
        width_(width),
        height_(height),
        depth_(static_cast<size_t>(width) * static_cast<size_t>(height),
               -std::numeric_limits<double>::infinity()) {}

  void Triangle(const Corner (&c)[3]) {
    // A damaged header (NaN or infinite scale) gives corners nothing can be
    // drawn from.
    for (const Corner& corner : c) {
      if (!std::isfinite(corner.x) || !std::isfinite(corner.y) || !std::isfinite(corner.depth) ||
          !std::isfinite(corner.s) || !std::isfinite(corner.t))
        return;
    }
    const double area = Edge(c[0], c[1], c[2].x, c[2].y);
    if (!(std::fabs(area) > 1e-12)) return;
    // Clamped to the rectangle before any conversion to int.
    const double left = std::max(0.0, std::floor(std::min({c[0].x, c[1].x, c[2].x})));
    const double right = std::min(width_ - 1.0, std::ceil(std::max({c[0].x, c[1].x, c[2].x})));
    const double top = std::max(0.0, std::floor(std::min({c[0].y, c[1].y, c[2].y})));
    const double bottom = std::min(height_ - 1.0, std::ceil(std::max({c[0].y, c[1].y, c[2].y})));
    if (left > right || top > bottom) return;
    DrawSpan(c, area, static_cast<int>(left), static_cast<int>(right), static_cast<int>(top),
             static_cast<int>(bottom));
  }

 private:
  void DrawSpan(const Corner (&c)[3], double area, int left, int right, int top, int bottom) {
    for (int y = top; y <= bottom; ++y) {
      for (int x = left; x <= right; ++x) {
        const double px = x + 0.5, py = y + 0.5;
        // Barycentric weights; all of one sign inside, whichever the winding.
        const double w0 = Edge(c[1], c[2], px, py) / area;
        const double w1 = Edge(c[2], c[0], px, py) / area;
        const double w2 = 1.0 - w0 - w1;
        if (w0 < 0 || w1 < 0 || w2 < 0) continue;
        const double depth = w0 * c[0].depth + w1 * c[1].depth + w2 * c[2].depth;
        double& stored = depth_[static_cast<size_t>(y) * static_cast<size_t>(width_) + x];
        if (depth <= stored) continue;
        stored = depth;
        const Rgb texel = Texel(file_, w0 * c[0].s + w1 * c[1].s + w2 * c[2].s,
                                w0 * c[0].t + w1 * c[1].t + w2 * c[2].t);
        const double light = w0 * c[0].light + w1 * c[1].light + w2 * c[2].light;
        image_->Set(x0_ + x, y0_ + y,
                    {Shade(texel.r, light), Shade(texel.g, light), Shade(texel.b, light)});
      }
    }
  }

  static double Edge(const Corner& a, const Corner& b, double x, double y) {
    return (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
  }

  const MdlFile& file_;
  RgbImage* image_;
  int x0_, y0_, width_, height_;
  std::vector<double> depth_;
};

}  // namespace

void ViewBounds::Add(double x, double y) {
  if (empty) {
    min_x = max_x = x;
    min_y = max_y = y;
    empty = false;
    return;
  }
  min_x = std::min(min_x, x);
  max_x = std::max(max_x, x);
  min_y = std::min(min_y, y);
  max_y = std::max(max_y, y);
}

void ViewBounds::Add(const ViewBounds& other) {
  if (other.empty) return;
  Add(other.min_x, other.min_y);
  Add(other.max_x, other.max_y);
}

ViewBounds FrameViewBounds(const MdlFile& file, size_t index) {
  ViewBounds bounds;
  if (index >= file.frames.size()) return bounds;
  for (const MdlPackedVertex& packed : file.frames[index].vertices) {
    const Vec3 p = Position(file, packed);
    bounds.Add(Dot(p, TheView().right), Dot(p, TheView().up));
  }
  return bounds;
}

void DrawFrame(const MdlFile& file, size_t index, const ViewBounds& fit, RgbImage* image, int x0,
               int y0, int width, int height) {
  if (index >= file.frames.size() || fit.empty || width <= 0 || height <= 0) return;
  const View& view = TheView();
  const double span_x = std::max(fit.max_x - fit.min_x, 1e-6);
  const double span_y = std::max(fit.max_y - fit.min_y, 1e-6);
  // A tenth of the rectangle stays free round the model.
  const double scale = 0.9 * std::min(width / span_x, height / span_y);
  const double centre_x = 0.5 * (fit.min_x + fit.max_x), centre_y = 0.5 * (fit.min_y + fit.max_y);

  const MdlFrame& frame = file.frames[index];
  const int32_t skinwidth = file.header.skinwidth;
  Rasteriser raster(file, image, x0, y0, width, height);
  for (const MdlTriangle& triangle : file.triangles) {
    Corner corners[3];
    bool usable = true;
    for (int k = 0; k < 3; ++k) {
      const int32_t j = triangle.vertices[k];
      if (j < 0 || static_cast<size_t>(j) >= frame.vertices.size() ||
          static_cast<size_t>(j) >= file.skin_vertices.size()) {
        usable = false;
        break;
      }
      const MdlPackedVertex& packed = frame.vertices[static_cast<size_t>(j)];
      const MdlSkinVertex& skin = file.skin_vertices[static_cast<size_t>(j)];
      const Vec3 p = Position(file, packed);
      // A back-facing triangle takes a seam vertex from the skin's back half.
      const double s =
          skin.s + (triangle.faces_front == 0 && skin.on_seam != 0 ? skinwidth / 2 : 0);
      corners[k] = {0.5 * width + scale * (Dot(p, view.right) - centre_x),
                    0.5 * height - scale * (Dot(p, view.up) - centre_y),
                    Dot(p, view.toward),
                    s,
                    static_cast<double>(skin.t),
                    Light(packed.normal_index)};
    }
    if (usable) raster.Triangle(corners);
  }
}

}  // namespace vandrell
