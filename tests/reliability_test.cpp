// The converter under faults: an import library that crashes or runs away,
// damaged scene files, and a disk that refuses the output. mdlexport runs as
// a child process, as a user runs it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "hostapp/guard/ImportGuard.h"
#include "mdlformat/MdlReader.h"
#include "tests/RunProgram.h"
#include "tests/TestSupport.h"

namespace {

using hostapp::GuardOutcome;
using hostapp::GuardReport;
using hostapp::ImportLimits;
using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::SharedScenesDir;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

using RunResult = testing_support::ProgramRun;
using RunSettings = testing_support::RunOptions;

std::string Text(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::string& path, const std::string& text) {
  WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

RunResult RunMdlexport(const std::vector<std::string>& args, const RunSettings& settings = {}) {
  return testing_support::RunProgram(MDLEXPORT_PATH, args, settings);
}

// A Collada file of one triangle; stride is its position accessor's stride.
std::string ColladaTriangle(const std::string& stride) {
  return R"(<?xml version="1.0" encoding="utf-8"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
  <asset><unit name="meter" meter="1"/><up_axis>Y_UP</up_axis></asset>
  <library_geometries>
    <geometry id="tri" name="tri"><mesh>
      <source id="tri-positions">
        <float_array id="tri-positions-array" count="9">0 0 0 4 0 0 0 2 0</float_array>
        <technique_common>
          <accessor count="3" offset="0" source="#tri-positions-array" stride=")" +
         stride + R"(">
            <param name="X" type="float"/><param name="Y" type="float"/><param name="Z" type="float"/>
          </accessor>
        </technique_common>
      </source>
      <vertices id="tri-vertices"><input semantic="POSITION" source="#tri-positions"/></vertices>
      <triangles count="1"><input offset="0" semantic="VERTEX" source="#tri-vertices"/><p>0 1 2</p></triangles>
    </mesh></geometry>
  </library_geometries>
  <library_visual_scenes>
    <visual_scene id="scene"><node id="n" name="n"><instance_geometry url="#tri"/></node></visual_scene>
  </library_visual_scenes>
  <scene><instance_visual_scene url="#scene"/></scene>
</COLLADA>
)";
}

const char kTwoTriangleObj[] =
    "v 0 0 0\nv 4 0 0\nv 0 2 0\nv 0 0 3\n"
    "f 1 2 3\nf 1 3 4\n";

// This process's resident memory in MiB; a forked child starts with as much.
long ResidentMiB() {
  std::FILE* file = std::fopen("/proc/self/statm", "r");
  long long size = 0;
  long long resident = 0;
  if (file) {
    if (std::fscanf(file, "%lld %lld", &size, &resident) != 2) resident = 0;
    std::fclose(file);
  }
  return static_cast<long>((resident * sysconf(_SC_PAGESIZE)) >> 20);
}

TEST(ImportGuard, TellsAPassAFailureACrashAndARunawayInMemoryOrTimeApart) {
  const ImportLimits roomy{0, 60};
  GuardReport report = hostapp::RunGuarded(roomy, [](std::string*) { return true; });
  EXPECT_EQ(report.outcome, GuardOutcome::kPassed);

  report = hostapp::RunGuarded(roomy, [](std::string* reason) {
    *reason = "no clip 'walk'";
    return false;
  });
  EXPECT_EQ(report.outcome, GuardOutcome::kFailed);
  EXPECT_EQ(report.detail, "no clip 'walk'");
  EXPECT_EQ(hostapp::GuardMessage("a.fbx", roomy, report), "a.fbx: no clip 'walk'");

  report =
      hostapp::RunGuarded(roomy, [](std::string*) -> bool { throw std::runtime_error("bad"); });
  EXPECT_EQ(report.outcome, GuardOutcome::kFailed);
  EXPECT_EQ(report.detail, "bad");

  // A death without a report, by a signal or by a sanitizer's exit.
  report = hostapp::RunGuarded(roomy, [](std::string*) -> bool { std::abort(); });
  EXPECT_EQ(report.outcome, GuardOutcome::kCrashed);
  EXPECT_FALSE(report.detail.empty());
  EXPECT_TRUE(Contains(hostapp::GuardMessage("a.fbx", roomy, report),
                       "cannot read a.fbx: the import library crashed ("));

  // Touched memory beyond the bound: stopped before it gets the 1 GiB it
  // wants, which would end in a pass.
  const ImportLimits tight{ResidentMiB() + 64, 600};
  report = hostapp::RunGuarded(tight, [](std::string*) {
    std::vector<std::vector<char>> blocks;
    for (int i = 0; i < 64; ++i) blocks.emplace_back(16u << 20, 'x');
    return true;
  });
  EXPECT_EQ(report.outcome, GuardOutcome::kOutOfMemory);
  const ImportLimits bound{256, 2};
  EXPECT_EQ(hostapp::GuardMessage("a.dae", bound, report),
            "cannot read a.dae: the import ran out of memory (bound 256 MiB, --import-memory)");
  // An allocation refused outright, thrown or turned into a message.
  report = hostapp::RunGuarded(roomy, [](std::string*) -> bool { throw std::bad_alloc(); });
  EXPECT_EQ(report.outcome, GuardOutcome::kOutOfMemory);
  report = hostapp::RunGuarded(roomy, [](std::string* reason) {
    *reason = "std::bad_alloc";
    return false;
  });
  EXPECT_EQ(report.outcome, GuardOutcome::kOutOfMemory);

  // Without a file descriptor left for the report, no child is started.
  rlimit files{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &files), 0);
  const rlimit few = {64, files.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &few), 0);
  std::vector<int> taken;
  for (int fd; (fd = open("/dev/null", O_RDONLY)) >= 0;) taken.push_back(fd);
  report = hostapp::RunGuarded(roomy, [](std::string*) { return true; });
  for (int fd : taken) close(fd);
  setrlimit(RLIMIT_NOFILE, &files);
  EXPECT_EQ(report.outcome, GuardOutcome::kNotStarted);
  EXPECT_TRUE(Contains(hostapp::GuardMessage("a.dae", roomy, report),
                       "cannot read a.dae: the import could not be started ("));

  // An import that never ends is stopped at the time bound, not before.
  const auto start = std::chrono::steady_clock::now();
  report = hostapp::RunGuarded(bound, [](std::string*) {
    for (;;) sleep(1);
    return true;
  });
  EXPECT_EQ(report.outcome, GuardOutcome::kOutOfTime);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(hostapp::GuardMessage("a.dae", bound, report),
            "cannot read a.dae: the import took too long (bound 2 seconds, --import-time)");
}

TEST(Mdlexport, ImportLibraryCrashOrRunawayExitsTwoNamingItAndWritesNothing) {
  TempDir dir;
  const std::string target = dir.File("out.mdl");
  WriteText(target, "keep");

  // A huge accessor stride makes the Collada reader read far outside its
  // array: a segmentation fault inside the library.
  const std::string crash = dir.File("stride.dae");
  WriteText(crash, ColladaTriangle("300000000"));
  RunResult run = RunMdlexport({crash, target});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Contains(run.err, "mdlexport: cannot read " + crash + ": the import library crashed"))
      << run.err;
  EXPECT_EQ(Text(ReadFileBytes(target)), "keep");
  // The same file with its stride intact converts.
  const std::string sound = dir.File("sound.dae");
  WriteText(sound, ColladaTriangle("3"));
  run = RunMdlexport({sound, dir.File("sound.mdl")});
  EXPECT_EQ(run.status, 0) << run.err;

  // A bound the import exceeds: any scene needs more than 1 MiB.
  const std::string scene = dir.File("scene.obj");
  WriteText(scene, kTwoTriangleObj);
  run = RunMdlexport({"--import-memory", "1", scene, target});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Contains(
      run.err, "mdlexport: cannot read " + scene + ": the import ran out of memory (bound 1 MiB"))
      << run.err;
  EXPECT_EQ(Text(ReadFileBytes(target)), "keep");

  run = RunMdlexport({"--import-time", "soon", scene, target});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Contains(run.err, "--import-time takes a whole number")) << run.err;
}

// A copy of bytes with count bytes replaced at positions a fixed seed picks.
std::vector<uint8_t> Flipped(std::vector<uint8_t> bytes, uint32_t seed, int count) {
  uint32_t state = seed * 2654435761u + 1;
  for (int i = 0; i < count && !bytes.empty(); ++i) {
    state = state * 1664525u + 1013904223u;
    const size_t at = (state >> 8) % bytes.size();
    bytes[at] ^= static_cast<uint8_t>(1u + (state >> 24) % 255u);
  }
  return bytes;
}

TEST(Mdlexport, DamagedSceneFilesEndInAnExitStatusNeverASignalOrAPartialFile) {
  const std::string scenes = SharedScenesDir();
  if (scenes.empty()) GTEST_SKIP() << "the shared scenes folder is absent";
  struct Scene {
    const char* file;
    const char* companion;  // a file it refers to, copied beside the damaged copy
  };
  const Scene kScenes[] = {{"BoxTextured.glb", nullptr},
                           {"AnimatedMorphCube.gltf", "AnimatedMorphCube.bin"},
                           {"AnimatedMorphCube.bin", "AnimatedMorphCube.gltf"},
                           {"faerie.md2", nullptr},
                           {"dwarf.x", nullptr}};
  int written = 0;
  int refused = 0;
  int crashed = 0;  // of the refused: the import library crashed on them
  for (const Scene& scene : kScenes) {
    const std::vector<uint8_t> original = ReadFileBytes(scenes + "/" + scene.file);
    ASSERT_FALSE(original.empty()) << scene.file;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> damaged;
    for (const size_t length : {size_t{0}, size_t{1}, size_t{12}, original.size() / 3,
                                original.size() / 2, original.size() - 1}) {
      damaged.emplace_back("cut at " + std::to_string(length),
                           std::vector<uint8_t>(original.begin(), original.begin() + length));
    }
    for (uint32_t seed = 1; seed <= 4; ++seed)
      damaged.emplace_back("flipped, seed " + std::to_string(seed), Flipped(original, seed, 8));

    for (const auto& [what, bytes] : damaged) {
      TempDir dir;
      const std::string copy = dir.File(scene.file);
      WriteFileBytes(copy, bytes);
      if (scene.companion) {
        WriteFileBytes(dir.File(scene.companion), ReadFileBytes(scenes + "/" + scene.companion));
      }
      const std::string target = dir.File("out.mdl");
      const RunResult run = RunMdlexport({"--frames", "3", "--import-time", "60", copy, target});
      const std::string label = std::string(scene.file) + ", " + what + ": " + run.err;
      ASSERT_LT(run.status, 128) << label;
      if (run.status == 0) {
        // Harmless damage: a whole file that reads back.
        vandrell::MdlFile file;
        std::string error;
        EXPECT_TRUE(vandrell::ReadMdlFile(target, &file, &error)) << label << error;
        ++written;
        continue;
      }
      ++refused;
      if (Contains(run.err, "the import library crashed")) ++crashed;
      EXPECT_FALSE(FileExists(target)) << label;
      // A file that no longer holds a mesh is read and has nothing to export;
      // anything else is a file that cannot be read.
      if (run.status == 1)
        EXPECT_TRUE(Contains(run.err, "Vandrell Exporter: No data to export") ||
                    Contains(run.err, " holds "))
            << label;
      else
        EXPECT_EQ(run.status, 2) << label;
      EXPECT_TRUE(Contains(run.err, "mdlexport: ") || Contains(run.err, "Vandrell Exporter: "))
          << label;
    }
  }
  // The cuts to nothing are refused whatever the format.
  EXPECT_GE(refused, 5);
  std::printf("damaged scenes: %d written whole, %d refused (the import library crashed on %d)\n",
              written, refused, crashed);
}

TEST(Mdlexport, DiskFaultsExitOneWithTheReasonAndLeaveNothingBehind) {
  TempDir dir;
  chmod(dir.path().c_str(), 0755);
  const std::string example = std::string(VANDRELL_SOURCE_DIR) + "/examples/example.gltf";

  // The target is a folder: it cannot be created, and the folder stays.
  const std::string folder = dir.File("folder.mdl");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  WriteText(folder + "/inside", "x");
  RunResult run = RunMdlexport({example, folder});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.err, "Vandrell Exporter: Can't create output file\n")) << run.err;
  EXPECT_EQ(Text(ReadFileBytes(folder + "/inside")), "x");

  // A folder the user may not write to (as root, the export runs as nobody).
  const std::string locked = dir.File("locked");
  ASSERT_EQ(mkdir(locked.c_str(), 0555), 0);
  RunSettings unprivileged;
  unprivileged.unprivileged = true;
  run = RunMdlexport({example, locked + "/out.mdl"}, unprivileged);
  if (run.status == 127 || run.status == 125) {
    std::printf("skipped the read-only folder: mdlexport cannot run as nobody here\n");
  } else {
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(Contains(run.err, "Vandrell Exporter: Can't create output file\n")) << run.err;
    EXPECT_FALSE(FileExists(locked + "/out.mdl"));
  }

  // The file-size limit is reached in the middle of the last frame.
  const std::string whole = dir.File("whole.mdl");
  run = RunMdlexport({"--frames", "all", "--base-name", "w", example, whole});
  ASSERT_EQ(run.status, 0) << run.err;
  vandrell::MdlFile file;
  std::string error;
  ASSERT_TRUE(vandrell::ReadMdlFile(whole, &file, &error)) << error;
  const size_t size = ReadFileBytes(whole).size();
  // type word, two box vertices, the name, then four bytes a vertex
  const size_t frame_bytes = 4 + 8 + 16 + 4 * static_cast<size_t>(file.header.numverts);
  ASSERT_GT(file.header.numframes, 1);
  RunSettings limited;
  limited.file_size_limit = size - frame_bytes / 2;
  const std::string target = dir.File("limited.mdl");
  run = RunMdlexport({"--frames", "all", "--base-name", "w", example, target}, limited);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.err, "Vandrell Exporter: Write error on file\n")) << run.err;
  EXPECT_FALSE(FileExists(target));
  // One byte more than the file needs is enough.
  limited.file_size_limit = size;
  run = RunMdlexport({"--frames", "all", "--base-name", "w", example, target}, limited);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFileBytes(target), ReadFileBytes(whole));
}

TEST(Mdlexport, ExistingTargetIsUntouchedWhenTheExportEndsBeforeWriting) {
  TempDir dir;
  const std::string target = dir.File("out.mdl");
  const std::string scene = dir.File("scene.obj");
  WriteText(scene, kTwoTriangleObj);
  const std::string empty = dir.File("empty.obj");
  WriteText(empty, "v 0 0 0\nv 1 0 0\nv 0 1 0\n");
  const std::string damaged = dir.File("damaged.gltf");
  WriteText(damaged, "{ \"asset\": ");
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {{"--cancel", scene, target}, 1, "cancelled"},
      {{empty, target}, 1, "holds only vertices, no faces"},
      {{"--frames", "0", scene, target}, 2, "at least 1"},
      // Accepted by the command line, refused by the exporter's dialog check.
      {{"--texture-kb", "3000000", scene, target}, 1, "The texture size limit is out of range"},
      {{damaged, target}, 2, damaged.c_str()},
  };
  for (const Case& c : cases) {
    WriteText(target, "keep");
    const RunResult run = RunMdlexport(c.args);
    EXPECT_EQ(run.status, c.status) << c.args[0] << ": " << run.err;
    EXPECT_TRUE(Contains(run.err, c.reason)) << c.args[0] << ": " << run.err;
    EXPECT_EQ(Text(ReadFileBytes(target)), "keep") << c.args[0];
  }
}

}  // namespace
