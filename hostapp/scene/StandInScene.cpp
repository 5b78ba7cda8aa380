#include "hostapp/scene/StandInScene.h"

#include <functional>

namespace hostapp {

namespace {
// Class id of the stand-in's objects that are not geometry.
constexpr host::Class_ID kNonGeometricClassId(0x1011, 0);
// Class id of a standard material.
constexpr host::Class_ID kStandardMaterialClassId(0x0002, 0);
}  // namespace

host::HostObject* StandInTriObject::ConvertToType(HostTime, host::Class_ID type) {
  return type == host::triObjectClassID ? this : nullptr;
}

StandInObject::StandInObject(MeshAt mesh_at)
    : mesh_at_(std::move(mesh_at)), id_(host::Class_ID(0x0010, 0)) {}

StandInObject::StandInObject(host::Class_ID id) : id_(id) {}

int StandInObject::CanConvertToType(host::Class_ID type) {
  return IsGeometric() && type == host::triObjectClassID;
}

host::HostObject* StandInObject::ConvertToType(HostTime t, host::Class_ID type) {
  if (!CanConvertToType(type)) return nullptr;
  ++conversions_;
  mesh_at_(t, tri_object_.GetMesh());
  return &tri_object_;
}

StandInMaterial::StandInMaterial(std::string name, host::Color diffuse)
    : name_(std::move(name)), multi_(false), diffuse_(diffuse) {}

StandInMaterial::StandInMaterial(std::string name, std::vector<host::HostMaterial*> sub_materials)
    : name_(std::move(name)), multi_(true), sub_materials_(std::move(sub_materials)) {}

host::Class_ID StandInMaterial::ClassID() {
  return multi_ ? host::kMultiMaterialClassId : kStandardMaterialClassId;
}

void StandInMaterial::Update(HostTime, host::ValidityInterval&) { ++updates_; }

host::HostMaterial* StandInMaterial::GetSubMtl(int i) {
  if (i < 0 || i >= static_cast<int>(sub_materials_.size())) return nullptr;
  return sub_materials_[static_cast<size_t>(i)];
}

host::Color StandInMaterial::GetDiffuse(HostTime, int) { return diffuse_; }

host::TextureMap* StandInMaterial::GetSubTexmap(int i) {
  return i == host::kDiffuseMapSlot ? diffuse_map_ : nullptr;
}

StandInNode::StandInNode(StandInScene* scene, std::string name, StandInNode* parent)
    : scene_(scene), name_(std::move(name)), parent_(parent) {}

host::ObjectState StandInNode::EvalWorldState(HostTime t, int) {
  scene_->Observe(*this, t);
  host::ObjectState state;
  state.obj = object_;
  return state;
}

void StandInNode::SetTransform(const host::Matrix3& local) {
  local_at_ = [local](HostTime) { return local; };
}

host::Matrix3 StandInNode::LocalTransform(HostTime t) const {
  return local_at_ ? local_at_(t) : host::Matrix3();
}

host::Matrix3 StandInNode::GetObjectTransform(HostTime t, host::ValidityInterval* validity) {
  host::Matrix3 world = LocalTransform(t);
  for (const StandInNode* ancestor = parent_; ancestor; ancestor = ancestor->parent_)
    world = world * ancestor->LocalTransform(t);
  // The stand-in does not track how long a transform holds: only the instant.
  if (validity) *validity = {t, t};
  return world;
}

StandInScene::StandInScene() = default;
StandInScene::~StandInScene() = default;

int StandInScene::EnumTree(host::SceneEnumCallback* callback) {
  std::function<void(StandInNode*)> visit = [&](StandInNode* node) {
    callback->VisitNode(node);
    for (StandInNode* child : node->children_) visit(child);
  };
  for (StandInNode* root : roots_) visit(root);
  return 1;
}

StandInNode* StandInScene::AddNode(const std::string& name, StandInNode* parent) {
  nodes_.push_back(std::make_unique<StandInNode>(this, name, parent));
  StandInNode* node = nodes_.back().get();
  if (parent)
    parent->children_.push_back(node);
  else
    roots_.push_back(node);
  return node;
}

StandInObject* StandInScene::AddMesh(StandInNode* node, const host::Mesh& mesh) {
  return AddAnimatedMesh(node, [mesh](HostTime, host::Mesh& out) { out = mesh; });
}

StandInObject* StandInScene::AddAnimatedMesh(StandInNode* node, MeshAt mesh_at) {
  objects_.push_back(std::make_unique<StandInObject>(std::move(mesh_at)));
  node->SetObject(objects_.back().get());
  return objects_.back().get();
}

StandInObject* StandInScene::AddNonGeometricObject(StandInNode* node) {
  objects_.push_back(std::make_unique<StandInObject>(kNonGeometricClassId));
  node->SetObject(objects_.back().get());
  return objects_.back().get();
}

StandInMaterial* StandInScene::AddMaterial(const std::string& name, host::Color diffuse) {
  materials_.push_back(std::make_unique<StandInMaterial>(name, diffuse));
  return materials_.back().get();
}

StandInMaterial* StandInScene::AddMultiMaterial(const std::string& name,
                                                std::vector<host::HostMaterial*> sub_materials) {
  materials_.push_back(std::make_unique<StandInMaterial>(name, std::move(sub_materials)));
  return materials_.back().get();
}

StandInBitmapTexture* StandInScene::AddBitmapTexture(const std::string& map_name) {
  bitmap_maps_.push_back(std::make_unique<StandInBitmapTexture>(map_name));
  return bitmap_maps_.back().get();
}

StandInTextureMap* StandInScene::AddOtherTextureMap(host::Class_ID id) {
  other_maps_.push_back(std::make_unique<StandInTextureMap>(id));
  return other_maps_.back().get();
}

std::vector<StandInNode*> StandInScene::Nodes() const {
  std::vector<StandInNode*> order;
  std::function<void(StandInNode*)> visit = [&](StandInNode* node) {
    order.push_back(node);
    for (StandInNode* child : node->Children()) visit(child);
  };
  for (StandInNode* root : roots_) visit(root);
  return order;
}

void StandInScene::Observe(StandInNode& node, HostTime t) {
  if (observer_) observer_(node, t);
}

host::Mesh MakeMesh(const std::vector<host::Point3>& vertices, const std::vector<FaceSpec>& faces,
                    const std::vector<host::Point3>& texture_vertices,
                    const std::vector<host::TextureFace>& texture_faces) {
  host::Mesh mesh;
  mesh.vertices = vertices;
  for (const FaceSpec& given : faces) {
    host::MeshFace face;
    face.v[0] = given.a;
    face.v[1] = given.b;
    face.v[2] = given.c;
    face.material_index = given.material_index;
    mesh.faces.push_back(face);
  }
  mesh.texture_vertices = texture_vertices;
  mesh.texture_faces = texture_faces;
  return mesh;
}

host::Matrix3 Translation(float x, float y, float z) {
  host::Matrix3 m;
  m.SetTrans({x, y, z});
  return m;
}

}  // namespace hostapp
