#include "scene/SceneCollector.h"

#include "host/Timing.h"
#include "scene/MaterialTable.h"

namespace vandrell {

SceneCollector* g_current_collector = nullptr;

namespace {
// The exporter always evaluates nodes with this flag.
constexpr int kEvaluateFlags = 1;

host::Mesh* MeshOf(host::HostObject* tri_object) {
  return tri_object ? &static_cast<host::TriObject*>(tri_object)->GetMesh() : nullptr;
}
}  // namespace

ExportNode::ExportNode(host::HostNode* host_node, host::HostObject* evaluated,
                       host::HostMaterial* node_material)
    : node(host_node), object(evaluated), tri_object(nullptr), material(node_material), next(nullptr) {
  // The object was evaluated at the start time; it is converted at the host's
  // current time.
  const host::HostTime now = g_current_collector->host_interface->GetTime();
  tri_object = object->ConvertToType(now, host::triObjectClassID);
}

SceneCollector::SceneCollector(host::HostScene* scene_to_walk, host::HostTime start,
                               host::HostTime end, host::HostInterface* host,
                               MaterialTable* table) {
  g_current_collector = this;
  start_time = start;
  end_time = end;
  ticks_per_frame = host::GetTicksPerFrame();
  node_count = 0;
  first_node = nullptr;
  last_node = nullptr;
  host_interface = host;
  scene = scene_to_walk;
  material_table = table;
  scene->EnumTree(this);
}

SceneCollector::~SceneCollector() {
  ExportNode* record = first_node;
  while (record) {
    ExportNode* next = record->next;
    delete record;
    record = next;
  }
  first_node = nullptr;
  last_node = nullptr;
  node_count = 0;
}

int SceneCollector::VisitNode(host::HostNode* node) {
  host::HostObject* object = node->EvalWorldState(start_time, kEvaluateFlags).obj;
  if (!object || !object->CanConvertToType(host::triObjectClassID)) return 0;
  host::HostMaterial* material = node->GetMaterial();
  material_table->CollectMaterials(material);
  AppendNode(node, object, material);
  return 0;
}

void SceneCollector::AppendNode(host::HostNode* node, host::HostObject* object,
                                host::HostMaterial* material) {
  ExportNode* record = new ExportNode(node, object, material);
  if (last_node) last_node->next = record;
  last_node = record;
  if (!first_node) first_node = record;
  ++node_count;
}

ExportNode* SceneCollector::NodeAt(int i) const {
  ExportNode* record = first_node;
  for (int step = 0; step < i && record; ++step) record = record->next;
  return record;
}

host::Matrix3* SceneCollector::NodeTransform(host::Matrix3* result, int i, host::HostTime t) {
  *result = NodeAt(i)->node->GetObjectTransform(t, nullptr);
  return result;
}

host::HostMaterial* SceneCollector::NodeMaterial(int i) { return NodeAt(i)->material; }

host::Mesh* SceneCollector::NodeMeshAt(int i, host::HostTime t) {
  ExportNode* record = NodeAt(i);
  record->object = record->node->EvalWorldState(t, kEvaluateFlags).obj;
  record->tri_object =
      record->object ? record->object->ConvertToType(t, host::triObjectClassID) : nullptr;
  return MeshOf(record->tri_object);
}

host::HostTime SceneCollector::FrameTime(int i) const {
  // Wraps like the host's 32-bit arithmetic instead of overflowing.
  return static_cast<host::HostTime>(static_cast<int64_t>(start_time) +
                                     static_cast<int64_t>(i) * ticks_per_frame);
}

int32_t SceneCollector::TotalFaceCount() const {
  int64_t total = 0;
  for (ExportNode* record = first_node; record; record = record->next) {
    if (host::Mesh* mesh = MeshOf(record->tri_object)) total += mesh->getNumFaces();
  }
  return total > INT32_MAX ? INT32_MAX : static_cast<int32_t>(total);
}

}  // namespace vandrell
