#pragma once
// The host's scene as the exporter sees it: the export and host interfaces,
// the node tree and its enumeration, objects, materials and texture maps.
// Everything here belongs to the host; the exporter releases none of it.

#include "host/ClassId.h"
#include "host/Geometry.h"
#include "host/Mesh.h"
#include "host/Timing.h"

namespace host {

class HostNode;
class HostObject;
class HostMaterial;

// The host application's own interface: animation settings.
class HostInterface {
 public:
  // The scene's animation range, start and end in ticks.
  virtual ValidityInterval GetAnimationRange() = 0;
  // The time the host's time slider stands at.
  virtual HostTime GetTime() = 0;

 protected:
  ~HostInterface() = default;
};

// The callback of a scene-tree enumeration, called once per node.
class SceneEnumCallback {
 public:
  // Returns 0 to go on.
  virtual int VisitNode(HostNode* node) = 0;

 protected:
  ~SceneEnumCallback() = default;
};

// The scene being exported.
class HostScene {
 public:
  // Calls the callback for every node of the tree, a parent before its
  // children; returns 1 when every node was visited.
  virtual int EnumTree(SceneEnumCallback* callback) = 0;

 protected:
  ~HostScene() = default;
};

// What the host hands to an exporter: access to the scene.
class ExportInterface {
 public:
  virtual HostScene* GetScene() = 0;

 protected:
  ~ExportInterface() = default;
};

// A node's object evaluated at one time.
struct ObjectState {
  HostObject* obj = nullptr;
};

class HostNode {
 public:
  virtual const char* GetName() = 0;
  // The node's object as the pipeline gives it at time t; flags is always 1
  // from the exporter.
  virtual ObjectState EvalWorldState(HostTime t, int flags) = 0;
  // The node's material, or null.
  virtual HostMaterial* GetMaterial() = 0;
  // The object-to-world transform at time t; validity, when not null, is
  // narrowed to the span over which the transform holds.
  virtual Matrix3 GetObjectTransform(HostTime t, ValidityInterval* validity) = 0;

 protected:
  ~HostNode() = default;
};

class HostObject {
 public:
  // Non-zero when the object can become an object of class type.
  virtual int CanConvertToType(Class_ID type) = 0;
  // The object converted to class type at time t, owned by the host (which
  // may hand back the same object at every call); null when it cannot.
  virtual HostObject* ConvertToType(HostTime t, Class_ID type) = 0;
  virtual Class_ID ClassID() = 0;

 protected:
  ~HostObject() = default;
};

// An object holding a triangle mesh (class triObjectClassID).
class TriObject : public HostObject {
 public:
  virtual Mesh& GetMesh() = 0;

 protected:
  ~TriObject() = default;
};

// Diffuse colour components, nominally 0 to 1.
struct Color {
  float r = 0.0f;
  float g = 0.0f;
  float b = 0.0f;
};

// Sub-texture slot of a material's diffuse map.
constexpr int kDiffuseMapSlot = 1;

class TextureMap {
 public:
  virtual Class_ID ClassID() = 0;

 protected:
  ~TextureMap() = default;
};

// A texture map of class kBitmapTextureClassId.
class BitmapTexture : public TextureMap {
 public:
  // The bitmap's file name (or the name of an image held in memory).
  virtual const char* GetMapName() = 0;

 protected:
  ~BitmapTexture() = default;
};

class HostMaterial {
 public:
  virtual const char* GetName() = 0;
  virtual Class_ID ClassID() = 0;
  // Brings the material up to date at time t; validity is narrowed to the
  // span over which it holds.
  virtual void Update(HostTime t, ValidityInterval& validity) = 0;
  virtual int NumSubMtls() = 0;
  // Sub-material i, or null (an empty slot, or an i outside 0 .. count - 1).
  virtual HostMaterial* GetSubMtl(int i) = 0;
  // The diffuse colour; the exporter asks with time 0 and flags 0.
  virtual Color GetDiffuse(HostTime t, int flags) = 0;
  // The map in sub-texture slot i, or null.
  virtual TextureMap* GetSubTexmap(int i) = 0;

 protected:
  ~HostMaterial() = default;
};

}  // namespace host
