// One triangle into the work frame: winding from the geometry, one table
// normal, the model scale.
#include <cstddef>

#include "export/ExportSettings.h"
#include "host/Geometry.h"
#include "model/MdlModel.h"
#include "model/NearestNormal.h"

namespace vandrell {

void MdlModel::AddTriangle(int32_t k, const TriangleInput& input) {
  AddTriangleTo(work_vertices, work_triangles, k, input);
}

void MdlModel::AddTriangleToStore(int32_t f, int32_t k, const TriangleInput& input) {
  if (f < 0 || f >= frame_capacity) return;
  AddTriangleTo(frame_vertices + static_cast<size_t>(f) * vertex_capacity,
                frame_triangles + static_cast<size_t>(f) * triangle_capacity, k, input);
}

void MdlModel::AddTriangleTo(FrameVertex* vertices, TriangleIndices* triangles, int32_t k,
                             const TriangleInput& input) {
  // Frame sampling never hands more faces than the arrays were sized for;
  // refusing here keeps a mistake from writing past them.
  if (k < 0 || k >= triangle_capacity) return;
  if (numtris < k + 1) numtris = k + 1;
  if (numverts < 3 * k + 3) numverts = 3 * k + 3;

  // n = (C - A) x (B - A) in single precision: the side the stored corners
  // A, B, C run clockwise around.
  const host::Point3 e1 = input.a - input.b;
  const host::Point3 e2 = input.a - input.c;
  const host::Point3 n = host::Normalize(host::CrossProduct(e2, e1));
  const host::Point3 fn = host::Normalize(input.face_normal);

  // Turn the triangle over when its geometric normal faces away from the
  // mesh's face normal. A NaN dot product counts as facing away; exactly 0
  // (a perpendicular normal, or a triangle without area) keeps the order.
  const double dot = (static_cast<double>(n.x) * fn.x + static_cast<double>(n.y) * fn.y) +
                     static_cast<double>(n.z) * fn.z;
  const bool flip = !(dot >= 0.0);
  const int32_t index =
      flip ? NearestNormalIndex(-n.x, -n.y, -n.z) : NearestNormalIndex(n.x, n.y, n.z);

  const float model_scale = g_export_settings.model_scale;
  const host::Point3* corners[3] = {&input.a, &input.b, &input.c};
  const int32_t s[3] = {input.s_a, input.s_b, input.s_c};
  const int32_t t[3] = {input.t_a, input.t_b, input.t_c};
  for (int c = 0; c < 3; ++c) {
    FrameVertex& vertex = vertices[3 * k + c];
    vertex.s = s[c];
    vertex.t = t[c];
    vertex.x = corners[c]->x * model_scale;
    vertex.y = corners[c]->y * model_scale;
    vertex.z = corners[c]->z * model_scale;
    vertex.normal_index = static_cast<uint8_t>(index);
  }

  // The records stay in input order; only the indices say the winding.
  TriangleIndices& triangle = triangles[k];
  triangle.v[0] = 3 * k;
  triangle.v[1] = flip ? 3 * k + 2 : 3 * k + 1;
  triangle.v[2] = flip ? 3 * k + 1 : 3 * k + 2;
}

}  // namespace vandrell
