#include "hostapp/scene/SceneBounds.h"

#include <algorithm>

namespace hostapp {

SceneBox MeasureScene(StandInScene& scene, HostTime t) {
  SceneBox box;
  for (StandInNode* node : scene.Nodes()) {
    host::HostObject* object = node->EvalWorldState(t, 1).obj;
    if (!object || !object->CanConvertToType(host::triObjectClassID)) continue;
    host::HostObject* converted = object->ConvertToType(t, host::triObjectClassID);
    if (!converted) continue;
    const host::Mesh& mesh = static_cast<host::TriObject*>(converted)->GetMesh();
    const host::Matrix3 transform = node->GetObjectTransform(t, nullptr);
    // Corners of faces only: a vertex no face uses is not exported.
    for (const host::MeshFace& face : mesh.faces) {
      for (uint32_t index : face.v) {
        if (index >= mesh.vertices.size()) continue;
        const host::Point3 p = mesh.vertices[index] * transform;
        if (box.empty) {
          box.low = box.high = p;
          box.empty = false;
          continue;
        }
        for (int a = 0; a < 3; ++a) {
          box.low[a] = std::min(box.low[a], p[a]);
          box.high[a] = std::max(box.high[a], p[a]);
        }
      }
    }
  }
  return box;
}

}  // namespace hostapp
