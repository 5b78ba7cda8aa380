#pragma once
// The stand-in host's scene: an in-memory node tree with animated transforms,
// objects that do or do not convert to triangle meshes, materials and texture
// maps, and the animation settings. It implements the host interfaces the
// exporter calls. The scene owns everything it hands out: objects returned by
// conversion are the scene's, reused from call to call, so an export of any
// length allocates nothing per frame.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/Scene.h"

namespace hostapp {

using host::HostTime;

// A transform as a function of time.
using TransformAt = std::function<host::Matrix3(HostTime)>;
// Fills a mesh with its state at a time.
using MeshAt = std::function<void(HostTime, host::Mesh&)>;

class StandInTriObject final : public host::TriObject {
 public:
  int CanConvertToType(host::Class_ID type) override { return type == host::triObjectClassID; }
  host::HostObject* ConvertToType(HostTime, host::Class_ID type) override;
  host::Class_ID ClassID() override { return host::triObjectClassID; }
  host::Mesh& GetMesh() override { return mesh_; }

 private:
  host::Mesh mesh_;
};

// An object of a node. A geometric object converts to a triangle mesh; any
// other (a light, a camera, a helper, a bone) does not.
class StandInObject final : public host::HostObject {
 public:
  // A geometric object whose mesh is given by mesh_at.
  explicit StandInObject(MeshAt mesh_at);
  // An object that does not convert, of class id.
  explicit StandInObject(host::Class_ID id);

  int CanConvertToType(host::Class_ID type) override;
  // The object's one triangle object, refilled with the mesh at t.
  host::HostObject* ConvertToType(HostTime t, host::Class_ID type) override;
  host::Class_ID ClassID() override { return id_; }

  bool IsGeometric() const { return static_cast<bool>(mesh_at_); }
  // How often the object was converted (for tests).
  int ConversionCount() const { return conversions_; }

 private:
  MeshAt mesh_at_;
  host::Class_ID id_;
  StandInTriObject tri_object_;
  int conversions_ = 0;
};

class StandInTextureMap final : public host::TextureMap {
 public:
  explicit StandInTextureMap(host::Class_ID id) : id_(id) {}
  host::Class_ID ClassID() override { return id_; }

 private:
  host::Class_ID id_;
};

// A bitmap texture: a file name, or the name of an image held in memory by
// the bitmap manager.
class StandInBitmapTexture final : public host::BitmapTexture {
 public:
  explicit StandInBitmapTexture(std::string map_name) : map_name_(std::move(map_name)) {}
  host::Class_ID ClassID() override { return host::kBitmapTextureClassId; }
  const char* GetMapName() override { return map_name_.c_str(); }

 private:
  std::string map_name_;
};

// A standard material (a diffuse colour and an optional diffuse map) or a
// multi-material (sub-materials, some of them possibly empty).
class StandInMaterial final : public host::HostMaterial {
 public:
  StandInMaterial(std::string name, host::Color diffuse);
  StandInMaterial(std::string name, std::vector<host::HostMaterial*> sub_materials);

  const char* GetName() override { return name_.c_str(); }
  host::Class_ID ClassID() override;
  void Update(HostTime t, host::ValidityInterval& validity) override;
  int NumSubMtls() override { return static_cast<int>(sub_materials_.size()); }
  host::HostMaterial* GetSubMtl(int i) override;
  host::Color GetDiffuse(HostTime t, int flags) override;
  host::TextureMap* GetSubTexmap(int i) override;

  void SetDiffuseMap(host::TextureMap* map) { diffuse_map_ = map; }
  // The texture (skin, shader) name as the scene file writes it, whatever
  // file the diffuse map was found in; empty when the file names none.
  void SetWrittenTextureName(std::string name) { written_texture_name_ = std::move(name); }
  const std::string& WrittenTextureName() const { return written_texture_name_; }
  // One more slot of a multi-material; it may hold the material itself, as a
  // host lets a user make it.
  void AddSubMaterial(host::HostMaterial* material) { sub_materials_.push_back(material); }
  host::TextureMap* DiffuseMap() const { return diffuse_map_; }
  bool IsMulti() const { return multi_; }
  const std::vector<host::HostMaterial*>& SubMaterials() const { return sub_materials_; }
  int UpdateCount() const { return updates_; }

 private:
  std::string name_;
  bool multi_;
  host::Color diffuse_;
  host::TextureMap* diffuse_map_ = nullptr;
  std::string written_texture_name_;
  std::vector<host::HostMaterial*> sub_materials_;
  int updates_ = 0;
};

class StandInScene;

class StandInNode final : public host::HostNode {
 public:
  StandInNode(StandInScene* scene, std::string name, StandInNode* parent);

  const char* GetName() override { return name_.c_str(); }
  host::ObjectState EvalWorldState(HostTime t, int flags) override;
  host::HostMaterial* GetMaterial() override { return material_; }
  // The local transform composed with every ancestor's: local * parent world.
  host::Matrix3 GetObjectTransform(HostTime t, host::ValidityInterval* validity) override;

  void SetTransform(const host::Matrix3& local);
  void SetAnimatedTransform(TransformAt local_at) { local_at_ = std::move(local_at); }
  host::Matrix3 LocalTransform(HostTime t) const;
  void SetObject(StandInObject* object) { object_ = object; }
  StandInObject* Object() const { return object_; }
  void SetMaterial(host::HostMaterial* material) { material_ = material; }
  StandInNode* Parent() const { return parent_; }
  const std::vector<StandInNode*>& Children() const { return children_; }
  const std::string& Name() const { return name_; }

 private:
  friend class StandInScene;
  StandInScene* scene_;
  std::string name_;
  StandInNode* parent_;
  std::vector<StandInNode*> children_;
  TransformAt local_at_;
  StandInObject* object_ = nullptr;
  host::HostMaterial* material_ = nullptr;
};

// The whole stand-in host as the exporter meets it: the scene (through the
// export interface) and the animation settings (through the host interface).
class StandInScene final : public host::HostScene,
                           public host::ExportInterface,
                           public host::HostInterface {
 public:
  StandInScene();
  ~StandInScene();
  StandInScene(const StandInScene&) = delete;
  StandInScene& operator=(const StandInScene&) = delete;

  // host::HostScene: every node, depth first, a parent before its children,
  // children in the order added.
  int EnumTree(host::SceneEnumCallback* callback) override;
  // host::ExportInterface
  host::HostScene* GetScene() override { return this; }
  // host::HostInterface
  host::ValidityInterval GetAnimationRange() override { return range_; }
  HostTime GetTime() override { return time_; }

  // Building.
  StandInNode* AddNode(const std::string& name, StandInNode* parent = nullptr);
  // Gives node a geometric object with a fixed mesh, or one that changes with time.
  StandInObject* AddMesh(StandInNode* node, const host::Mesh& mesh);
  StandInObject* AddAnimatedMesh(StandInNode* node, MeshAt mesh_at);
  // Gives node an object that does not convert (a light, camera, helper or bone).
  StandInObject* AddNonGeometricObject(StandInNode* node);
  StandInMaterial* AddMaterial(const std::string& name, host::Color diffuse);
  StandInMaterial* AddMultiMaterial(const std::string& name,
                                    std::vector<host::HostMaterial*> sub_materials);
  StandInBitmapTexture* AddBitmapTexture(const std::string& map_name);
  StandInTextureMap* AddOtherTextureMap(host::Class_ID id);

  void SetAnimationRange(HostTime start, HostTime end) { range_ = {start, end}; }
  void SetTime(HostTime t) { time_ = t; }

  // Called at every node evaluation, before it happens (progress, tests that
  // make a host call fail by throwing).
  void SetEvaluationObserver(std::function<void(StandInNode&, HostTime)> observer) {
    observer_ = std::move(observer);
  }

  const std::vector<StandInNode*>& Roots() const { return roots_; }
  // Every node in enumeration order.
  std::vector<StandInNode*> Nodes() const;
  const std::vector<std::unique_ptr<StandInMaterial>>& Materials() const { return materials_; }

 private:
  friend class StandInNode;
  void Observe(StandInNode& node, HostTime t);

  host::ValidityInterval range_{0, 0};
  HostTime time_ = 0;
  std::vector<StandInNode*> roots_;
  std::vector<std::unique_ptr<StandInNode>> nodes_;
  std::vector<std::unique_ptr<StandInObject>> objects_;
  std::vector<std::unique_ptr<StandInMaterial>> materials_;
  std::vector<std::unique_ptr<StandInBitmapTexture>> bitmap_maps_;
  std::vector<std::unique_ptr<StandInTextureMap>> other_maps_;
  std::function<void(StandInNode&, HostTime)> observer_;
};

// A mesh from vertices, faces (three vertex indices and a material index each)
// and, optionally, texture vertices and texture faces.
struct FaceSpec {
  uint32_t a, b, c;
  uint16_t material_index = 0;
};
host::Mesh MakeMesh(const std::vector<host::Point3>& vertices, const std::vector<FaceSpec>& faces,
                    const std::vector<host::Point3>& texture_vertices = {},
                    const std::vector<host::TextureFace>& texture_faces = {});

// A translation, and a matrix from rows.
host::Matrix3 Translation(float x, float y, float z);

}  // namespace hostapp
