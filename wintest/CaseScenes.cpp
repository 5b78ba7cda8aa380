#include "wintest/CaseScenes.h"

#include <cstdint>
#include <functional>
#include <map>

#include "host/Bitmap.h"
#include "host/Timing.h"

namespace wintest {

namespace {

using host::Point3;
using hostapp::FaceSpec;
using hostapp::StandInScene;

// A box from (0, 0, 0) to (w, d, h): 8 corners, 12 faces wound outward. Faces
// 0-3 (bottom and top) take material index 0, the sides index 1.
host::Mesh Box(float w, float d, float h, bool mapped) {
  const std::vector<Point3> corners = {{0, 0, 0}, {w, 0, 0}, {w, d, 0}, {0, d, 0},
                                       {0, 0, h}, {w, 0, h}, {w, d, h}, {0, d, h}};
  const std::vector<FaceSpec> faces = {
      {0, 2, 1, 0}, {0, 3, 2, 0},  // bottom
      {4, 5, 6, 0}, {4, 6, 7, 0},  // top
      {0, 1, 5, 1}, {0, 5, 4, 1},  // front
      {1, 2, 6, 1}, {1, 6, 5, 1},  // right
      {2, 3, 7, 1}, {2, 7, 6, 1},  // back
      {3, 0, 4, 1}, {3, 4, 7, 1},  // left
  };
  if (!mapped) return hostapp::MakeMesh(corners, faces);
  // Each face's corners map to a quarter-steps grid of the texture, so every
  // skin coordinate is an exact binary fraction.
  std::vector<Point3> uvs;
  for (int v = 0; v <= 4; ++v)
    for (int u = 0; u <= 4; ++u)
      uvs.push_back({0.25f * static_cast<float>(u), 0.25f * static_cast<float>(v), 0});
  std::vector<host::TextureFace> mapping;
  for (size_t i = 0; i < faces.size(); ++i) {
    const uint32_t cell = static_cast<uint32_t>(i % 4);
    const uint32_t row = static_cast<uint32_t>(i / 4);
    const uint32_t base = row * 5 + cell;
    host::TextureFace face;
    face.t[0] = base;
    face.t[1] = i % 2 ? base + 6 : base + 1;
    face.t[2] = i % 2 ? base + 5 : base + 6;
    mapping.push_back(face);
  }
  return hostapp::MakeMesh(corners, faces, uvs, mapping);
}

// An RGBA image whose pixels are a function of their column and row.
void RegisterPattern(const std::string& name, int width, int height,
                     const std::function<void(int, int, uint8_t*)>& pixel) {
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixel(x, y, &rgba[(static_cast<size_t>(y) * width + x) * 4]);
  host::TheManager->RegisterImage(name, width, height, rgba.data());
}

void BuildCube(StandInScene& scene) {
  hostapp::StandInNode* node = scene.AddNode("cube");
  scene.AddMesh(node, Box(20, 12, 30, false));
  node->SetMaterial(scene.AddMaterial("clay", {0.625f, 0.375f, 0.25f}));
}

// Two nodes: a box under a multi-material (a checker bitmap on top and bottom,
// a plain colour on the sides) and, beside it, a smaller box with a gradient
// bitmap of its own. Bright yellows and oranges give the fullbright entries
// something to match.
void BuildTextured(StandInScene& scene) {
  RegisterPattern("case-checker.png", 32, 32, [](int x, int y, uint8_t* p) {
    const bool dark = ((x / 8) + (y / 8)) % 2 == 0;
    p[0] = dark ? 40 : 250;
    p[1] = dark ? 30 : 220;
    p[2] = dark ? 120 : 20;
    p[3] = 255;
  });
  RegisterPattern("case-gradient.png", 64, 16, [](int x, int y, uint8_t* p) {
    p[0] = static_cast<uint8_t>(x * 4);
    p[1] = static_cast<uint8_t>(255 - y * 16);
    p[2] = static_cast<uint8_t>((x * y) % 256);
    p[3] = 255;
  });

  hostapp::StandInMaterial* checker = scene.AddMaterial("checker", {1, 1, 1});
  checker->SetDiffuseMap(scene.AddBitmapTexture("case-checker.png"));
  hostapp::StandInMaterial* paint = scene.AddMaterial("paint", {1.0f, 0.5f, 0.0f});
  hostapp::StandInMaterial* multi = scene.AddMultiMaterial("crate", {checker, paint});
  hostapp::StandInNode* crate = scene.AddNode("crate");
  scene.AddMesh(crate, Box(24, 24, 24, true));
  crate->SetMaterial(multi);

  hostapp::StandInMaterial* gradient = scene.AddMaterial("gradient", {1, 1, 1});
  gradient->SetDiffuseMap(scene.AddBitmapTexture("case-gradient.png"));
  hostapp::StandInNode* post = scene.AddNode("post", crate);
  post->SetTransform(hostapp::Translation(30, 4, 0));
  scene.AddMesh(post, Box(6, 6, 40, true));
  post->SetMaterial(gradient);
}

// Eight frames: the box slides along X and rises while its top corners lean
// forward and back, so both the node transform and the mesh change.
void BuildAnimated(StandInScene& scene) {
  const int ticks = host::GetTicksPerFrame();
  scene.SetAnimationRange(0, 7 * ticks);
  hostapp::StandInNode* node = scene.AddNode("walker");
  node->SetAnimatedTransform([ticks](host::HostTime t) {
    const float frame = static_cast<float>(t / ticks);
    return hostapp::Translation(2.5f * frame, 0, 0.75f * frame);
  });
  scene.AddAnimatedMesh(node, [ticks](host::HostTime t, host::Mesh& mesh) {
    const int frame = static_cast<int>(t / ticks);
    const float lean = static_cast<float>((frame % 4) * 3 - 4);
    mesh = Box(16, 10, 36, false);
    for (size_t i = 4; i < 8; ++i) mesh.vertices[i].y += lean;
  });
  node->SetMaterial(scene.AddMaterial("moss", {0.25f, 0.5f, 0.125f}));
}

// Nothing that converts to a triangle mesh: a light and a helper.
void BuildEmpty(StandInScene& scene) {
  scene.AddNonGeometricObject(scene.AddNode("lamp"));
  scene.AddNonGeometricObject(scene.AddNode("helper"));
}

const std::map<std::string, std::function<void(StandInScene&)>>& Builders() {
  static const std::map<std::string, std::function<void(StandInScene&)>> builders = {
      {"animated", BuildAnimated},
      {"cube", BuildCube},
      {"empty", BuildEmpty},
      {"textured", BuildTextured},
  };
  return builders;
}

}  // namespace

bool BuildCaseScene(const std::string& name, StandInScene& scene) {
  const auto found = Builders().find(name);
  if (found == Builders().end()) return false;
  found->second(scene);
  return true;
}

std::vector<std::string> CaseSceneNames() {
  std::vector<std::string> names;
  for (const auto& entry : Builders()) names.push_back(entry.first);
  return names;
}

}  // namespace wintest
