#include "host/Mesh.h"

#include <cstddef>

namespace host {

using std::size_t;

void Mesh::buildNormals() {
  face_normals.assign(faces.size(), Point3());
  const size_t vertex_count = vertices.size();
  for (size_t f = 0; f < faces.size(); ++f) {
    const MeshFace& face = faces[f];
    if (face.v[0] >= vertex_count || face.v[1] >= vertex_count || face.v[2] >= vertex_count) continue;
    const Point3& a = vertices[face.v[0]];
    face_normals[f] = Normalize(CrossProduct(vertices[face.v[1]] - a, vertices[face.v[2]] - a));
  }
}

uint16_t Mesh::getFaceMtlIndex(int f) const {
  if (f < 0 || static_cast<size_t>(f) >= faces.size()) return 0;
  return faces[static_cast<size_t>(f)].material_index;
}

}  // namespace host
