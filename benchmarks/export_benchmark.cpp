// The whole export as a user runs it: mdlexport started as its own process,
// import included, timed from start to exit. Measures the two shared sphere
// scenes and a skinned character this program writes itself (bones, no
// morph targets), with its doubled-triangle and doubled-frame variants for
// the scaling, and prints median wall time, CPU time, vertex-frames a second
// and peak memory against the frame store.
//
//   export_benchmark [--runs N] [--mdlexport PATH] [--bench-dir DIR] [--work-dir DIR]
#include <spawn.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "mdlformat/MdlReader.h"
#include "model/MdlModel.h"
#include "testscene/GltfBuffer.h"
#include "testscene/QuakeFiles.h"

extern char** environ;

namespace {

// --- A skinned character as a glTF file ------------------------------------

// A capsule-less cylinder of segments x rings quads (2 x segments x rings
// triangles), 2 units tall, on a chain of kBones bones that sway and twist
// over frames keys at 10 a second. Each vertex is weighted to the two bones
// nearest its height. Writes path (.gltf) and its .bin next to it.
bool WriteSkinnedCharacter(const std::string& path, int segments, int rings, int frames) {
  constexpr int kBones = 10;
  constexpr float kHeight = 2.0f;
  constexpr float kBoneLength = kHeight / kBones;
  const double pi = 3.14159265358979323846;

  std::vector<float> positions, texcoords, weights;
  std::vector<uint8_t> joints;
  for (int r = 0; r <= rings; ++r) {
    const float y = kHeight * static_cast<float>(r) / static_cast<float>(rings);
    // Thicker in the middle, so that no two rings share a radius.
    const float radius = 0.25f + 0.1f * static_cast<float>(std::sin(pi * r / rings));
    const float along = y / kBoneLength;
    const int lower = std::min(static_cast<int>(along), kBones - 1);
    const int upper = std::min(lower + 1, kBones - 1);
    const float upper_weight = upper == lower ? 0.0f : along - static_cast<float>(lower);
    for (int s = 0; s <= segments; ++s) {
      const double angle = 2.0 * pi * s / segments;
      positions.insert(positions.end(), {radius * static_cast<float>(std::cos(angle)), y,
                                         radius * static_cast<float>(std::sin(angle))});
      texcoords.insert(texcoords.end(), {static_cast<float>(s) / static_cast<float>(segments),
                                         static_cast<float>(r) / static_cast<float>(rings)});
      joints.insert(joints.end(), {static_cast<uint8_t>(lower), static_cast<uint8_t>(upper), 0, 0});
      weights.insert(weights.end(), {1.0f - upper_weight, upper_weight, 0.0f, 0.0f});
    }
  }
  std::vector<uint32_t> indices;
  const auto vertex = [segments](int r, int s) {
    return static_cast<uint32_t>(r * (segments + 1) + s);
  };
  for (int r = 0; r < rings; ++r) {
    for (int s = 0; s < segments; ++s) {
      indices.insert(indices.end(), {vertex(r, s), vertex(r + 1, s), vertex(r + 1, s + 1)});
      indices.insert(indices.end(), {vertex(r, s), vertex(r + 1, s + 1), vertex(r, s + 1)});
    }
  }
  // Bone k sits at height k x kBoneLength in the bind pose.
  std::vector<float> inverse_binds;
  for (int k = 0; k < kBones; ++k) {
    inverse_binds.insert(inverse_binds.end(), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0,
                                               -kBoneLength * static_cast<float>(k), 0, 1});
  }
  std::vector<float> times;
  for (int i = 0; i < frames; ++i) times.push_back(0.1f * static_cast<float>(i));

  testscene::GltfBuffer buffer;
  const int position_accessor = buffer.AddFloats(positions, 3, true);
  const int texcoord_accessor = buffer.AddFloats(texcoords, 2);
  const int joint_accessor = buffer.AddUint8(joints, 4);
  const int weight_accessor = buffer.AddFloats(weights, 4);
  const int index_accessor = buffer.AddUint32(indices, 1);
  const int bind_accessor = buffer.AddFloats(inverse_binds, 16);
  const int time_accessor = buffer.AddFloats(times, 1, true);

  // Node 0 holds the mesh; nodes 1 .. kBones are the bone chain.
  std::vector<std::string> nodes = {"{\"name\":\"body\",\"mesh\":0,\"skin\":0}"};
  std::vector<std::string> samplers, channels, joint_nodes;
  for (int k = 0; k < kBones; ++k) {
    std::vector<float> rotations;
    for (int i = 0; i < frames; ++i) {
      const double t = times[static_cast<size_t>(i)];
      // Sway about Z and twist about Y, out of phase along the chain.
      const double sway = 0.3 * std::sin(2.0 * pi * t / 4.0 + 0.6 * k);
      const double twist = 0.2 * std::sin(2.0 * pi * t / 3.0 + 0.4 * k);
      const double cz = std::cos(sway / 2), sz = std::sin(sway / 2);
      const double cy = std::cos(twist / 2), sy = std::sin(twist / 2);
      // q = q_y * q_z, as (x, y, z, w).
      rotations.insert(rotations.end(), {static_cast<float>(sy * sz), static_cast<float>(sy * cz),
                                         static_cast<float>(cy * sz), static_cast<float>(cy * cz)});
    }
    const int rotation_accessor = buffer.AddFloats(rotations, 4);
    samplers.push_back("{\"input\":" + std::to_string(time_accessor) +
                       ",\"output\":" + std::to_string(rotation_accessor) + "}");
    channels.push_back("{\"sampler\":" + std::to_string(k) + ",\"target\":{\"node\":" +
                       std::to_string(k + 1) + ",\"path\":\"rotation\"}}");
    joint_nodes.push_back(std::to_string(k + 1));
    std::string node = "{\"name\":\"bone" + std::to_string(k) + "\"";
    if (k > 0) node += ",\"translation\":[0," + std::to_string(kBoneLength) + ",0]";
    if (k + 1 < kBones) node += ",\"children\":[" + std::to_string(k + 2) + "]";
    nodes.push_back(node + "}");
  }

  const std::string bin_name = path.substr(path.find_last_of('/') + 1) + ".bin";
  std::ofstream bin(path + ".bin", std::ios::binary);
  bin.write(reinterpret_cast<const char*>(buffer.Bytes().data()),
            static_cast<std::streamsize>(buffer.Bytes().size()));
  const auto join = [](const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : ",") + item;
    return out;
  };
  std::ofstream json(path);
  json << "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[0,1]}],"
       << "\"nodes\":[" << join(nodes) << "],"
       << "\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":" << position_accessor
       << ",\"TEXCOORD_0\":" << texcoord_accessor << ",\"JOINTS_0\":" << joint_accessor
       << ",\"WEIGHTS_0\":" << weight_accessor << "},\"indices\":" << index_accessor << "}]}],"
       << "\"skins\":[{\"inverseBindMatrices\":" << bind_accessor << ",\"joints\":["
       << join(joint_nodes) << "]}],"
       << "\"animations\":[{\"name\":\"walk\",\"samplers\":[" << join(samplers)
       << "],\"channels\":[" << join(channels) << "]}],\n"
       << buffer.Members(bin_name) << "}\n";
  return static_cast<bool>(bin) && static_cast<bool>(json);
}

// --- Quake-family models ------------------------------------------------------

// A bent tube of segments x rings quads, frame f's rings swayed by a wave,
// in file units (x forward, z up): one position a vertex per frame.
std::vector<std::array<float, 3>> TubeFrame(int segments, int rings, int f, float height) {
  const double pi = 3.14159265358979323846;
  std::vector<std::array<float, 3>> positions;
  for (int r = 0; r <= rings; ++r) {
    const double z = height * r / rings;
    const double sway = 4.0 * std::sin(2.0 * pi * (f / 20.0 + r / static_cast<double>(rings)));
    const double radius = 6.0 + 2.0 * std::sin(pi * r / rings);
    for (int s = 0; s < segments; ++s) {
      const double angle = 2.0 * pi * s / segments;
      positions.push_back({static_cast<float>(radius * std::cos(angle) + sway),
                           static_cast<float>(radius * std::sin(angle)), static_cast<float>(z)});
    }
  }
  return positions;
}

// The tube's triangles, as (a, b, c) vertex indices; texture coordinates
// follow the vertices.
std::vector<std::array<int, 3>> TubeTriangles(int segments, int rings) {
  std::vector<std::array<int, 3>> triangles;
  for (int r = 0; r < rings; ++r) {
    for (int s = 0; s < segments; ++s) {
      const int a = r * segments + s, b = r * segments + (s + 1) % segments;
      triangles.push_back({a, a + segments, b + segments});
      triangles.push_back({a, b + segments, b});
    }
  }
  return triangles;
}

// An MD2 model of a 24 x 20 tube (960 triangles, 504 vertices, much like a
// Quake II monster) and frames frames in clips of 20, each frame packed with
// its own scale and origin; no skin name.
bool WriteMd2Tube(const std::string& path, int frames) {
  constexpr int kSegments = 24, kRings = 20;
  testscene::Md2Description md2;
  md2.skin_width = 256;
  md2.skin_height = 128;
  for (int r = 0; r <= kRings; ++r)
    for (int s = 0; s < kSegments; ++s)
      md2.texture_coordinates.push_back(
          {static_cast<int16_t>(s * 10), static_cast<int16_t>(r * 6)});
  for (const auto& t : TubeTriangles(kSegments, kRings)) {
    md2.triangles.push_back({static_cast<uint16_t>(t[0]), static_cast<uint16_t>(t[1]),
                             static_cast<uint16_t>(t[2]), static_cast<uint16_t>(t[0]),
                             static_cast<uint16_t>(t[1]), static_cast<uint16_t>(t[2])});
  }
  for (int f = 0; f < frames; ++f) {
    testscene::Md2Frame frame;
    frame.name = std::string(f / 20 % 2 ? "run" : "walk") + std::to_string(f % 20 + 1);
    const std::vector<std::array<float, 3>> positions = TubeFrame(kSegments, kRings, f, 48.0f);
    for (int axis = 0; axis < 3; ++axis) {
      float low = INFINITY, high = -INFINITY;
      for (const auto& p : positions) {
        low = std::min(low, p[axis]);
        high = std::max(high, p[axis]);
      }
      frame.translate[axis] = low;
      frame.scale[axis] = (high - low) / 255.0f;
    }
    for (const auto& p : positions) {
      std::array<uint8_t, 3> packed;
      for (int axis = 0; axis < 3; ++axis)
        packed[axis] = static_cast<uint8_t>(
            std::lround((p[axis] - frame.translate[axis]) / frame.scale[axis]));
      frame.vertices.push_back(packed);
    }
    md2.frames.push_back(frame);
  }
  testscene::WriteBytes(path, testscene::Md2Bytes(md2));
  return true;
}

// One part of a player: a tube of segments x rings quads, frames frames, and
// the given tags, each rising and turning a little from frame to frame. No
// shader: the textures are not what is measured.
testscene::Md3Description PlayerPart(const std::string& name, int segments, int rings, int frames,
                                     const std::vector<std::string>& tags, float height) {
  testscene::Md3Description md3;
  md3.name = name;
  testscene::Md3Surface surface;
  surface.name = name;
  for (const auto& t : TubeTriangles(segments, rings)) surface.triangles.push_back(t);
  for (int r = 0; r <= rings; ++r)
    for (int s = 0; s < segments; ++s)
      surface.texture_coordinates.push_back(
          {static_cast<float>(s) / segments, static_cast<float>(r) / rings});
  for (int f = 0; f < frames; ++f) {
    md3.frame_names.push_back(name + std::to_string(f));
    std::vector<std::array<int16_t, 3>> vertices;
    for (const auto& p : TubeFrame(segments, rings, f, height))
      vertices.push_back({static_cast<int16_t>(std::lround(p[0] * 64)),
                          static_cast<int16_t>(std::lround(p[1] * 64)),
                          static_cast<int16_t>(std::lround(p[2] * 64))});
    surface.frames.push_back(vertices);
  }
  md3.surfaces = {surface};
  for (const std::string& tag_name : tags) {
    testscene::Md3Tag tag;
    tag.name = tag_name;
    for (int f = 0; f < frames; ++f) {
      const float a = 0.02f * static_cast<float>(f % 30);
      tag.frames.push_back({0, 0, height + 0.1f * static_cast<float>(f % 10), std::cos(a),
                            std::sin(a), 0, -std::sin(a), std::cos(a), 0, 0, 0, 1});
    }
    md3.tags.push_back(tag);
  }
  return md3;
}

// A player of three such parts, as many triangles as a Quake III player has
// (520 legs, 720 torso, 280 head), whose animation.cfg plays 206 poses: six
// both animations of 10 frames, seven of the torso of 10 (its standing one
// of 1), and twelve of the legs of 7 (idle of 8), written on after the
// torso's 70 frames.
bool WriteTubePlayer(const std::string& folder) {
  if (std::system(("mkdir -p '" + folder + "'").c_str()) != 0) return false;
  testscene::PlayerFiles player;
  player.lower = PlayerPart("lower", 20, 13, 60 + 85, {"tag_torso"}, 24.0f);
  player.upper = PlayerPart("upper", 24, 15, 60 + 70, {"tag_head", "tag_weapon"}, 20.0f);
  player.head = PlayerPart("head", 14, 10, 1, {"tag_head"}, 10.0f);
  std::string cfg = "sex m\n";
  for (int a = 0; a < 6; ++a) cfg += std::to_string(10 * a) + " 10 0 20\n";
  for (int a = 0; a < 7; ++a)
    cfg += std::to_string(60 + 10 * a) + (a == 5 ? " 1" : " 10") + " 0 15\n";
  int first = 60 + 70;
  for (int a = 0; a < 12; ++a) {
    const int count = a == 9 ? 8 : 7;
    cfg += std::to_string(first) + " " + std::to_string(count) + " 0 20\n";
    first += count;
  }
  player.animation_cfg = cfg;
  testscene::WritePlayer(folder, player);
  return true;
}

// --- Running and measuring mdlexport ------------------------------------------

struct Run {
  double wall_seconds = 0;
  double cpu_seconds = 0;  // user and system
  long peak_kib = 0;       // largest resident set
  int status = -1;
};

Run RunExport(const std::string& mdlexport, const std::string& scene, const std::string& output,
              bool player) {
  std::vector<std::string> args = {mdlexport, "-q", "--frames", "all",
                                   "--fps",   "10", scene,      output};
  if (player) args.insert(args.begin() + 1, "--player");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(&arg[0]);
  argv.push_back(nullptr);
  Run run;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, mdlexport.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return run;
  int status = 0;
  struct rusage usage;
  if (wait4(pid, &status, 0, &usage) != pid) return run;
  run.wall_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                    static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
  run.peak_kib = usage.ru_maxrss;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

struct Result {
  std::string name;
  double wall = 0;  // median
  double cpu = 0;   // median
  long peak_kib = 0;
  double store_mib = 0;
  double vertex_frames = 0;  // sampled: 3 x triangles x frames
  bool ok = false;
};

Result Measure(const std::string& name, const std::string& mdlexport, const std::string& scene,
               const std::string& work_dir, int runs, bool player = false) {
  Result result;
  result.name = name;
  const std::string output = work_dir + "/" + name + ".mdl";
  std::vector<double> walls, cpus;
  for (int i = 0; i < runs; ++i) {
    const Run run = RunExport(mdlexport, scene, output, player);
    if (run.status != 0) {
      std::fprintf(stderr, "export_benchmark: %s: mdlexport failed (status %d)\n", name.c_str(),
                   run.status);
      return result;
    }
    walls.push_back(run.wall_seconds);
    cpus.push_back(run.cpu_seconds);
    result.peak_kib = std::max(result.peak_kib, run.peak_kib);
  }
  vandrell::MdlFile file;
  std::string error;
  if (!vandrell::ReadMdlFile(output, &file, &error)) {
    std::fprintf(stderr, "export_benchmark: %s: %s\n", name.c_str(), error.c_str());
    return result;
  }
  const double triangles = file.header.numtris;
  const double frames = file.header.numframes;
  // The exporter keeps every frame's 3 records a triangle and its triangle.
  result.store_mib = frames * triangles *
                     (3.0 * sizeof(vandrell::FrameVertex) + sizeof(vandrell::TriangleIndices)) /
                     (1024.0 * 1024.0);
  result.vertex_frames = 3.0 * triangles * frames;
  result.wall = Median(walls);
  result.cpu = Median(cpus);
  result.ok = true;
  std::printf("%-22s %8.0f %8.3f %8.3f %10.2f %9.1f %9.1f %6.2f\n", name.c_str(), triangles,
              result.wall, result.cpu, result.vertex_frames / result.wall / 1e6,
              static_cast<double>(result.peak_kib) / 1024.0, result.store_mib,
              static_cast<double>(result.peak_kib) / 1024.0 / result.store_mib);
  std::fflush(stdout);
  return result;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

void Check(const char* what, double value, double limit) {
  std::printf("  %-58s %7.2f (at most %.2f) %s\n", what, value, limit,
              value <= limit ? "met" : "NOT MET");
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  std::string mdlexport = FolderOf(argv[0]) + "/mdlexport";
  std::string bench_dir = std::string(VANDRELL_SOURCE_DIR) + "/../shared/bench";
  std::string work_dir = "/tmp/vandrell-export-benchmark";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--runs" && has_value) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--mdlexport" && has_value) {
      mdlexport = argv[++i];
    } else if (arg == "--bench-dir" && has_value) {
      bench_dir = argv[++i];
    } else if (arg == "--work-dir" && has_value) {
      work_dir = argv[++i];
    } else {
      std::fprintf(stderr,
                   "usage: export_benchmark [--runs N] [--mdlexport PATH] [--bench-dir DIR] "
                   "[--work-dir DIR]\n");
      return 2;
    }
  }
  std::error_code made;
  std::filesystem::create_directories(work_dir, made);
  if (made) {
    std::fprintf(stderr, "export_benchmark: cannot make %s: %s\n", work_dir.c_str(),
                 made.message().c_str());
    return 1;
  }

  // 50 x 100 quads: 10,000 triangles; doubled rings give 20,000.
  struct Character {
    const char* name;
    int segments, rings, frames;
  };
  const Character characters[] = {{"character", 50, 100, 100},
                                  {"character_2x_triangles", 50, 200, 100},
                                  {"character_2x_frames", 50, 100, 200}};
  for (const Character& c : characters) {
    if (!WriteSkinnedCharacter(work_dir + "/" + c.name + ".gltf", c.segments, c.rings, c.frames)) {
      std::fprintf(stderr, "export_benchmark: cannot write %s/%s.gltf\n", work_dir.c_str(), c.name);
      return 1;
    }
  }

  if (!WriteMd2Tube(work_dir + "/tube.md2", 200) || !WriteTubePlayer(work_dir + "/player")) {
    std::fprintf(stderr, "export_benchmark: cannot write the Quake models in %s\n",
                 work_dir.c_str());
    return 1;
  }

  std::printf("mdlexport -q --frames all --fps 10, %d runs each; times are medians in seconds\n",
              runs);
  std::printf("%-22s %8s %8s %8s %10s %9s %9s %6s\n", "scene", "tris", "wall", "cpu", "Mvf/s wall",
              "peak MiB", "store MiB", "ratio");
  std::vector<Result> results;
  for (const char* sphere : {"sphere2000_100", "sphere10000_100"}) {
    const std::string path = bench_dir + "/" + sphere + ".glb";
    if (access(path.c_str(), R_OK) != 0) {
      std::printf("%-22s skipped: %s not found\n", sphere, path.c_str());
      continue;
    }
    results.push_back(Measure(sphere, mdlexport, path, work_dir, runs));
  }
  for (const Character& c : characters) {
    results.push_back(
        Measure(c.name, mdlexport, work_dir + "/" + c.name + ".gltf", work_dir, runs));
  }
  results.push_back(Measure("md2_200_frames", mdlexport, work_dir + "/tube.md2", work_dir, runs));
  results.push_back(
      Measure("player_206_frames", mdlexport, work_dir + "/player", work_dir, runs, true));

  const auto find = [&results](const char* name) -> const Result* {
    for (const Result& r : results)
      if (r.name == name && r.ok) return &r;
    return nullptr;
  };
  std::printf("targets:\n");
  const Result* sphere = find("sphere10000_100");
  const Result* character = find("character");
  const Result* more_triangles = find("character_2x_triangles");
  const Result* more_frames = find("character_2x_frames");
  if (sphere) Check("sphere10000_100 median wall time, s", sphere->wall, 0.5);
  if (sphere && character)
    Check("character over sphere10000_100, wall", character->wall / sphere->wall, 1.5);
  for (const char* quake : {"md2_200_frames", "player_206_frames"}) {
    const Result* r = find(quake);
    if (r) Check((std::string(quake) + " median wall time, s").c_str(), r->wall, 0.2);
  }
  for (const Result& r : results) {
    if (!r.ok) continue;
    const std::string what = r.name + " peak memory over the frame store";
    Check(what.c_str(), static_cast<double>(r.peak_kib) / 1024.0 / r.store_mib, 1.5);
  }
  if (character && more_triangles) {
    Check("doubled triangles over character, wall", more_triangles->wall / character->wall, 2.2);
    Check("doubled triangles over character, cpu", more_triangles->cpu / character->cpu, 2.2);
  }
  if (character && more_frames) {
    Check("doubled frames over character, wall", more_frames->wall / character->wall, 2.2);
    Check("doubled frames over character, cpu", more_frames->cpu / character->cpu, 2.2);
  }
  for (const Result& r : results) {
    if (!r.ok) return 1;
  }
  return 0;
}
