#pragma once
#include <cstdint>

#include "host/Scene.h"

namespace vandrell {

class MaterialTable;

// One collected node, a singly linked record.
struct ExportNode {
  ExportNode(host::HostNode* node, host::HostObject* object, host::HostMaterial* material);

  host::HostNode* node;            // not owned
  host::HostObject* object;        // the evaluated object, as of the last evaluation
  host::HostObject* tri_object;    // the object converted to a triangle mesh; host-owned
  host::HostMaterial* material;    // the node's material at collection; may be null
  ExportNode* next;
};

// The callback of the scene enumeration: construction walks the scene and
// keeps, in enumeration order, every node whose object converts to a triangle
// mesh, entering its materials into the table.
class SceneCollector : public host::SceneEnumCallback {
 public:
  SceneCollector(host::HostScene* scene, host::HostTime start_time, host::HostTime end_time,
                 host::HostInterface* host_interface, MaterialTable* material_table);
  ~SceneCollector();
  SceneCollector(const SceneCollector&) = delete;
  SceneCollector& operator=(const SceneCollector&) = delete;

  int VisitNode(host::HostNode* node) override;
  void AppendNode(host::HostNode* node, host::HostObject* object, host::HostMaterial* material);

  // Node i's object-to-world transform at time t, written into result.
  host::Matrix3* NodeTransform(host::Matrix3* result, int i, host::HostTime t);
  host::HostMaterial* NodeMaterial(int i);
  // Re-evaluates and re-converts node i at t; its mesh, or null when the host
  // gives no triangle object.
  host::Mesh* NodeMeshAt(int i, host::HostTime t);
  // start_time + i x ticks_per_frame.
  host::HostTime FrameTime(int i) const;
  // Faces of the records' current triangle meshes together.
  int32_t TotalFaceCount() const;

  host::HostInterface* host_interface;
  ExportNode* first_node;
  ExportNode* last_node;
  host::HostScene* scene;
  int32_t node_count;
  MaterialTable* material_table;
  host::HostTime start_time;
  host::HostTime end_time;
  int32_t ticks_per_frame;

 private:
  ExportNode* NodeAt(int i) const;
};

// The collector whose enumeration runs or ran last.
extern SceneCollector* g_current_collector;

}  // namespace vandrell
