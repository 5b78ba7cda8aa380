#include "hostapp/import/quake/QuakeFigure.h"

#include <algorithm>

#include "hostapp/import/textures/TextureRepeats.h"

namespace hostapp {

namespace {

// The games draw a triangle whose corners run clockwise seen from its front;
// the host's front is where they run counter-clockwise.
constexpr int kHostCorner[3] = {2, 1, 0};

}  // namespace

void QuakeFigure::PrepareMeshes() {
  meshes_.clear();
  for (const Part& part : parts) {
    std::vector<SurfaceMesh> surfaces;
    for (const QuakeSurface& surface : part.model.surfaces) {
      SurfaceMesh mesh;
      mesh.texture_vertices = surface.texture_vertices;
      for (const QuakeTriangle& triangle : surface.triangles) {
        host::MeshFace face;
        host::TextureFace texture_face;
        for (int c = 0; c < 3; ++c) {
          face.v[c] = triangle.vertex[kHostCorner[c]];
          texture_face.t[c] = triangle.texture_vertex[kHostCorner[c]];
        }
        // The skins of these games repeat: a face beyond the first repeat
        // gets corners of its own, moved back into it.
        host::Point3 corners[3];
        for (int c = 0; c < 3; ++c) corners[c] = mesh.texture_vertices[texture_face.t[c]];
        if (MoveIntoFirstRepeat(TextureRepeat(), corners)) {
          for (int c = 0; c < 3; ++c) {
            texture_face.t[c] = static_cast<uint32_t>(mesh.texture_vertices.size());
            mesh.texture_vertices.push_back(corners[c]);
          }
        }
        mesh.faces.push_back(face);
        mesh.texture_faces.push_back(texture_face);
      }
      surfaces.push_back(std::move(mesh));
    }
    meshes_.push_back(std::move(surfaces));
  }
}

QuakeFigure::Between QuakeFigure::At(HostTime t) const {
  const double position = static_cast<double>(t) / kQuakePoseTicks;
  const double last = static_cast<double>(timeline.size() - 1);
  const double clamped = std::min(std::max(position, 0.0), last);
  Between between;
  between.from = static_cast<size_t>(clamped);
  between.to = std::min(between.from + 1, timeline.size() - 1);
  between.f = static_cast<float>(clamped - static_cast<double>(between.from));
  return between;
}

HostTime QuakeFigure::End() const {
  return static_cast<HostTime>((timeline.size() - 1) * kQuakePoseTicks);
}

host::Matrix3 QuakeFigure::PartTransform(size_t p, HostTime t) const {
  const Part& part = parts[p];
  if (part.parent < 0) return to_host;
  const Between between = At(t);
  const size_t parent = static_cast<size_t>(part.parent);
  const QuakeTag& tag = parts[parent].model.tags[part.parent_tag];
  const host::Matrix3& a = tag.frames[timeline[between.from][parent]];
  if (between.f == 0.0f) return a;
  // Between two poses the origin moves in a line and each axis turns with
  // it, kept of unit length.
  const host::Matrix3& b = tag.frames[timeline[between.to][parent]];
  host::Matrix3 result;
  for (int row = 0; row < 4; ++row) {
    const host::Point3 lerped = a.GetRow(row) + (b.GetRow(row) - a.GetRow(row)) * between.f;
    result.SetRow(row, row < 3 ? host::Normalize(lerped) : lerped);
  }
  return result;
}

void QuakeFigure::FillMesh(size_t p, size_t s, HostTime t, host::Mesh& out) const {
  const QuakeSurface& surface = parts[p].model.surfaces[s];
  const Between between = At(t);
  const size_t n = surface.vertex_count;
  const host::Point3* a = surface.positions.data() + timeline[between.from][p] * n;
  const host::Point3* b = surface.positions.data() + timeline[between.to][p] * n;
  out.vertices.resize(n);
  for (size_t v = 0; v < n; ++v) out.vertices[v] = a[v] + (b[v] - a[v]) * between.f;
  const SurfaceMesh& mesh = meshes_[p][s];
  out.faces = mesh.faces;
  out.texture_vertices = mesh.texture_vertices;
  out.texture_faces = mesh.texture_faces;
}

}  // namespace hostapp
