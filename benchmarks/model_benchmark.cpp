// Frame sampling, smoothing and merging on an animated sphere of a few
// thousand triangles over 100 frames: the shape of a real character export.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "export/ExportSettings.h"
#include "host/Geometry.h"
#include "host/Mesh.h"
#include "host/Timing.h"
#include "hostapp/scene/StandInScene.h"
#include "model/BuildFrames.h"
#include "model/FinishFrames.h"
#include "model/MdlModel.h"
#include "model/MergeVertices.h"
#include "model/Quantize.h"
#include "model/SmoothNormals.h"
#include "scene/MaterialTable.h"
#include "scene/SceneCollector.h"

namespace {

using vandrell::g_export_settings;
using vandrell::MdlModel;

constexpr int kFrames = 100;
constexpr int kTicksPerFrame = 160;

// A latitude-longitude sphere of 2 x rings x segments triangles,
// with shared vertices and a texture mapping, breathing with time t.
host::Mesh Sphere(int rings, int segments, host::HostTime t) {
  host::Mesh mesh;
  const double pi = 3.14159265358979323846;
  const double breath = 1.0 + 0.1 * std::sin(t * 0.002);
  for (int r = 0; r <= rings; ++r) {
    const double theta = pi * r / rings;
    for (int s = 0; s <= segments; ++s) {
      const double phi = 2.0 * pi * s / segments;
      const double radius = 20.0 * breath * (1.0 + 0.05 * std::sin(3.0 * phi + t * 0.001));
      mesh.vertices.push_back({static_cast<float>(radius * std::sin(theta) * std::cos(phi)),
                               static_cast<float>(radius * std::sin(theta) * std::sin(phi)),
                               static_cast<float>(radius * std::cos(theta))});
      mesh.texture_vertices.push_back(
          {static_cast<float>(s) / segments, 1.0f - static_cast<float>(r) / rings, 0.0f});
    }
  }
  const auto at = [segments](int r, int s) {
    return static_cast<uint32_t>(r * (segments + 1) + s);
  };
  for (int r = 0; r < rings; ++r) {
    for (int s = 0; s < segments; ++s) {
      const uint32_t quad[4] = {at(r, s), at(r + 1, s), at(r + 1, s + 1), at(r, s + 1)};
      const uint32_t halves[2][3] = {{quad[0], quad[1], quad[2]}, {quad[0], quad[2], quad[3]}};
      for (const auto& half : halves) {
        host::MeshFace face;
        host::TextureFace texture_face;
        for (int c = 0; c < 3; ++c) face.v[c] = texture_face.t[c] = half[c];
        mesh.faces.push_back(face);
        mesh.texture_faces.push_back(texture_face);
      }
    }
  }
  return mesh;
}

void UseSettings(int32_t frames, int32_t gouraud) {
  g_export_settings.frame_count = frames;
  g_export_settings.gouraud_shading = gouraud;
  g_export_settings.model_scale = 1.0f;
  g_export_settings.skin_byte_budget = 128 * 128;
}

// A scene of one node holding the sphere, animated over kFrames frames.
struct SphereScene {
  explicit SphereScene(int rings) {
    host::SetTicksPerFrame(kTicksPerFrame);
    scene.SetAnimationRange(0, (kFrames - 1) * kTicksPerFrame);
    hostapp::StandInNode* node = scene.AddNode("sphere");
    node->SetMaterial(scene.AddMaterial("skin", {0.8f, 0.6f, 0.5f}));
    scene.AddAnimatedMesh(
        node, [rings](host::HostTime t, host::Mesh& mesh) { mesh = Sphere(rings, 2 * rings, t); });
  }
  hostapp::StandInScene scene;
};

// The model as frame sampling and quantisation leave it, before smoothing and
// merging, and a way back to that state between benchmark iterations.
class Unmerged {
 public:
  Unmerged(int rings, int frames) {
    SphereScene sphere(rings);
    UseSettings(frames, 0);
    vandrell::MaterialTable table;
    vandrell::SceneCollector collector(&sphere.scene, 0, (frames - 1) * kTicksPerFrame,
                                       &sphere.scene, &table);
    // BuildFrames always smooths and merges, so the frames are sampled here
    // the way it samples them (one node, identity transform) and the passes
    // stop after quantisation.
    host::Matrix3 turn;
    turn.RotateZ(3.14159265358979f * 0.5f);
    model_.Allocate(collector.TotalFaceCount());
    for (int f = 0; f < frames; ++f) {
      host::Mesh* mesh = collector.NodeMeshAt(0, collector.FrameTime(f));
      mesh->buildNormals();
      for (int k = 0; k < mesh->getNumFaces(); ++k) {
        const host::MeshFace& face = mesh->faces[static_cast<size_t>(k)];
        vandrell::TriangleInput input{};
        input.a = mesh->vertices[face.v[0]] * turn;
        input.b = mesh->vertices[face.v[2]] * turn;
        input.c = mesh->vertices[face.v[1]] * turn;
        input.s_a = input.t_a = 0;
        input.s_b = input.t_b = 0;
        input.s_c = input.t_c = 0;
        input.face_normal = mesh->face_normals[static_cast<size_t>(k)] * turn;
        model_.AddTriangle(k, input);
      }
      model_.StoreFrame(f);
    }
    model_.Quantize();
    Save();
  }

  MdlModel& Restore() {
    std::memcpy(model_.frame_vertices, frame_vertices_.data(),
                frame_vertices_.size() * sizeof(vandrell::FrameVertex));
    std::memcpy(model_.frame_triangles, frame_triangles_.data(),
                frame_triangles_.size() * sizeof(vandrell::TriangleIndices));
    std::memcpy(model_.work_vertices, frame_vertices_.data() + last_frame_vertices_,
                static_cast<size_t>(model_.vertex_capacity) * sizeof(vandrell::FrameVertex));
    model_.numverts = numverts_;
    return model_;
  }

  int32_t Vertices() const { return numverts_; }

 private:
  void Save() {
    const size_t frames = static_cast<size_t>(model_.numframes);
    frame_vertices_.assign(
        model_.frame_vertices,
        model_.frame_vertices + frames * static_cast<size_t>(model_.vertex_capacity));
    frame_triangles_.assign(
        model_.frame_triangles,
        model_.frame_triangles + frames * static_cast<size_t>(model_.triangle_capacity));
    last_frame_vertices_ = (frames - 1) * static_cast<size_t>(model_.vertex_capacity);
    numverts_ = model_.numverts;
  }

  MdlModel model_;
  std::vector<vandrell::FrameVertex> frame_vertices_;
  std::vector<vandrell::TriangleIndices> frame_triangles_;
  size_t last_frame_vertices_ = 0;
  int32_t numverts_ = 0;
};

// The whole build: sampling, skin, quantisation, smoothing and merging.
void BM_BuildFrames(benchmark::State& state) {
  const int rings = static_cast<int>(state.range(0));
  SphereScene sphere(rings);
  for (auto _ : state) {
    UseSettings(kFrames, 1);
    MdlModel model;
    vandrell::MaterialTable table;
    vandrell::SceneCollector collector(&sphere.scene, 0, (kFrames - 1) * kTicksPerFrame,
                                       &sphere.scene, &table);
    if (vandrell::BuildFrames(model, collector) != vandrell::BuildStatus::kBuilt) {
      state.SkipWithError("build failed");
      break;
    }
    benchmark::DoNotOptimize(model.numverts);
  }
  state.counters["triangles"] = 4.0 * rings * rings;
  state.counters["frames"] = kFrames;
}
BENCHMARK(BM_BuildFrames)->Arg(30)->Unit(benchmark::kMillisecond);

template <void (*Pass)(MdlModel&)>
void RunPass(benchmark::State& state, int frames) {
  Unmerged unmerged(static_cast<int>(state.range(0)), frames);
  UseSettings(frames, 1);
  for (auto _ : state) {
    state.PauseTiming();
    MdlModel& model = unmerged.Restore();
    state.ResumeTiming();
    Pass(model);
    benchmark::DoNotOptimize(model.numverts);
  }
  state.counters["vertices"] = unmerged.Vertices();
  state.counters["frames"] = frames;
}

void Smooth(MdlModel& model) { model.SmoothNormals(); }
void Merge(MdlModel& model) { model.MergeVertices(); }
void QuantizeSmoothMerge(MdlModel& model) {
  model.Quantize();
  model.SmoothNormals();
  model.MergeVertices();
}
// The one walk frame sampling finishes with, its bounds folded here (frame
// sampling folds them while it builds each frame).
void Finish(MdlModel& model) {
  vandrell::PositionBounds bounds;
  for (int32_t f = 0; f < model.numframes; ++f) {
    vandrell::WidenBounds(bounds,
                          model.frame_vertices + static_cast<size_t>(f) * model.vertex_capacity,
                          model.numverts);
  }
  vandrell::FinishFrames(model, bounds);
}

void BM_SmoothNormals(benchmark::State& state) { RunPass<Smooth>(state, kFrames); }
void BM_MergeVertices(benchmark::State& state) { RunPass<Merge>(state, kFrames); }
void BM_ThreePasses(benchmark::State& state) { RunPass<QuantizeSmoothMerge>(state, kFrames); }
void BM_FinishFrames(benchmark::State& state) { RunPass<Finish>(state, kFrames); }
BENCHMARK(BM_SmoothNormals)->Arg(10)->Arg(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeVertices)->Arg(10)->Arg(30)->Unit(benchmark::kMillisecond);
// Quantize, SmoothNormals and MergeVertices one after the other, against the
// walk that does all three frame by frame.
BENCHMARK(BM_ThreePasses)->Arg(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FinishFrames)->Arg(30)->Unit(benchmark::kMillisecond);

// The quadratic fallbacks, on a small model with fewer frames: merging
// removal by removal copies every frame per removal.
void BM_SmoothNormalsInPlace(benchmark::State& state) {
  RunPass<vandrell::SmoothNormalsInPlace>(state, 20);
}
void BM_MergeVerticesInPlace(benchmark::State& state) {
  RunPass<vandrell::MergeVerticesInPlace>(state, 20);
}
BENCHMARK(BM_SmoothNormalsInPlace)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeVerticesInPlace)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
