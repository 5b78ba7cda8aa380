// The installed tree, as `cmake --install` lays it out under a prefix: what
// it holds, that its programs find their libraries and the module with
// nothing set in the environment, wherever the tree is moved and whatever the
// working directory, and that its manual pages render.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/RunProgram.h"
#include "tests/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ProgramRun;
using testing_support::ReadFileBytes;
using testing_support::RunProgram;
using testing_support::TempDir;

// Runs a program found on PATH (by env), with LD_LIBRARY_PATH removed from
// its environment, in directory.
ProgramRun RunBare(const std::vector<std::string>& command, const std::string& directory = "") {
  std::vector<std::string> args = {"-u", "LD_LIBRARY_PATH", "-u", "LD_PRELOAD"};
  args.insert(args.end(), command.begin(), command.end());
  testing_support::RunOptions options;
  options.directory = directory;
  return RunProgram("/usr/bin/env", args, options);
}

std::set<std::string> FilesUnder(const std::string& root) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (!entry.is_directory()) files.insert(fs::relative(entry.path(), root).string());
  return files;
}

// The run paths (RUNPATH or RPATH entries) an ELF file names.
std::vector<std::string> RunPaths(const std::string& file) {
  const ProgramRun run = RunBare({"readelf", "-d", file});
  EXPECT_EQ(run.status, 0) << "readelf -d " << file << ": " << run.err;
  std::vector<std::string> paths;
  std::istringstream lines(run.out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find("(RUNPATH)") == std::string::npos && line.find("(RPATH)") == std::string::npos)
      continue;
    const size_t open = line.find('[');
    const size_t close = line.rfind(']');
    if (open == std::string::npos || close == std::string::npos || close < open) continue;
    std::istringstream entries(line.substr(open + 1, close - open - 1));
    std::string entry;
    while (std::getline(entries, entry, ':')) paths.push_back(entry);
  }
  return paths;
}

class InstalledTree : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    work_ = new TempDir;
    const std::string prefix = work_->File("installed");
    const ProgramRun run =
        RunProgram(CMAKE_COMMAND, {"--install", VANDRELL_BINARY_DIR, "--prefix", prefix});
    install_status_ = run.status;
    install_output_ = run.out + run.err;
    // Moved after installing: nothing may point back to where it was put.
    moved_ = work_->File("moved");
    fs::rename(prefix, moved_);
  }
  static void TearDownTestSuite() {
    delete work_;
    work_ = nullptr;
  }
  void SetUp() override { ASSERT_EQ(install_status_, 0) << install_output_; }

  static TempDir* work_;
  static int install_status_;
  static std::string install_output_;
  static std::string moved_;
};

TempDir* InstalledTree::work_ = nullptr;
int InstalledTree::install_status_ = -1;
std::string InstalledTree::install_output_;
std::string InstalledTree::moved_;

TEST_F(InstalledTree, HoldsTheCommandsTheModuleItsLibrariesTheManualPagesAndTheReadme) {
  const std::set<std::string> expected = {
      "bin/mdlexport",
      "bin/mdlinfo",
      "lib/vandrell/Vandrell.dlo",
      "lib/vandrell/libhostsdk.so",
      "lib/vandrell/libwin32.so",
      "share/man/man1/mdlexport.1",
      "share/man/man1/mdlinfo.1",
      "share/doc/vandrell/README.md",
      "share/doc/vandrell/LICENSE",
      "share/doc/vandrell/docs/example-preview.png",
      "share/doc/vandrell/docs/options-dialog.png",
      "share/doc/vandrell/examples/example.gltf",
      "share/doc/vandrell/examples/example_checker.png",
      "share/vandrell/blender/io_scene_quake_mdl.zip",
  };
  EXPECT_EQ(FilesUnder(moved_), expected);
  EXPECT_EQ(ReadFileBytes(moved_ + "/share/doc/vandrell/README.md"),
            ReadFileBytes(std::string(VANDRELL_SOURCE_DIR) + "/README.md"));
  EXPECT_EQ(ReadFileBytes(moved_ + "/share/doc/vandrell/LICENSE"),
            ReadFileBytes(std::string(VANDRELL_SOURCE_DIR) + "/LICENSE"));
}

TEST_F(InstalledTree, BinariesFindTheirLibrariesRelativeToThemselvesOnly) {
  // A run path into the build tree would let the programs run here and fail
  // anywhere else, so every entry must start at the binary's own folder.
  // mdlinfo loads no library of ours and names no run path.
  const std::vector<std::pair<std::string, std::vector<std::string>>> binaries = {
      {"bin/mdlexport", {"$ORIGIN/../lib/vandrell"}}, {"bin/mdlinfo", {}},
      {"lib/vandrell/Vandrell.dlo", {"$ORIGIN"}},     {"lib/vandrell/libhostsdk.so", {"$ORIGIN"}},
      {"lib/vandrell/libwin32.so", {"$ORIGIN"}},
  };
  for (const auto& binary : binaries)
    EXPECT_EQ(RunPaths(moved_ + "/" + binary.first), binary.second) << binary.first;
  const ProgramRun ldd = RunBare({"ldd", moved_ + "/bin/mdlexport"});
  EXPECT_EQ(ldd.status, 0) << ldd.err;
  EXPECT_EQ(ldd.out.find("not found"), std::string::npos) << ldd.out;
  EXPECT_NE(ldd.out.find(moved_ + "/bin/../lib/vandrell/libhostsdk.so"), std::string::npos)
      << ldd.out;
}

TEST_F(InstalledTree, CommandsRunFromAnotherFolderWithNothingSetAndWriteWhatTheBuildWrites) {
  TempDir elsewhere;
  const std::string example = moved_ + "/share/doc/vandrell/examples/example.gltf";
  const ProgramRun installed = RunBare(
      {moved_ + "/bin/mdlexport", "--frames", "all", "--base-name", "wave", example, "wave.mdl"},
      elsewhere.path());
  ASSERT_EQ(installed.status, 0) << installed.err;
  EXPECT_NE(installed.out.find("wave.mdl: "), std::string::npos) << installed.out;

  TempDir reference;
  const ProgramRun built =
      RunProgram(MDLEXPORT_PATH,
                 {"--frames", "all", "--base-name", "wave",
                  std::string(VANDRELL_SOURCE_DIR) + "/examples/example.gltf", "wave.mdl"},
                 {reference.path()});
  ASSERT_EQ(built.status, 0) << built.err;
  const std::vector<uint8_t> written = ReadFileBytes(elsewhere.File("wave.mdl"));
  EXPECT_FALSE(written.empty());
  EXPECT_EQ(written, ReadFileBytes(reference.File("wave.mdl")));

  const ProgramRun check =
      RunBare({moved_ + "/bin/mdlinfo", "--check", "wave.mdl"}, elsewhere.path());
  EXPECT_EQ(check.status, 0) << check.err;
  EXPECT_EQ(check.out, "wave.mdl: ok\n");

  // --version names the module it found in lib/vandrell, without "..".
  const ProgramRun version = RunBare({moved_ + "/bin/mdlexport", "--version"}, elsewhere.path());
  EXPECT_EQ(version.status, 0) << version.err;
  EXPECT_NE(version.out.find("\nexporter " + moved_ + "/lib/vandrell/Vandrell.dlo: version 0.10\n"),
            std::string::npos)
      << version.out;
}

TEST_F(InstalledTree, MissingModuleIsNamedWithEveryPlaceLookedIn) {
  // The tree without the module: the program and its libraries only.
  TempDir broken;
  fs::create_directories(broken.File("bin"));
  fs::create_directories(broken.File("lib/vandrell"));
  fs::copy_file(moved_ + "/bin/mdlexport", broken.File("bin/mdlexport"));
  for (const char* library : {"libhostsdk.so", "libwin32.so"})
    fs::copy_file(moved_ + "/lib/vandrell/" + library, broken.File("lib/vandrell/") + library);
  const ProgramRun run = RunBare(
      {broken.File("bin/mdlexport"), moved_ + "/share/doc/vandrell/examples/example.gltf", "x.mdl"},
      broken.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "mdlexport: cannot find the exporter module: there is no " +
                         broken.File("bin/Vandrell.dlo") + " nor " +
                         broken.File("bin/../lib/vandrell/Vandrell.dlo") + "\n");
  EXPECT_FALSE(testing_support::FileExists(broken.File("x.mdl")));
}

TEST_F(InstalledTree, ManualPagesRenderWithoutWarningsAndNameEveryOptionOfTheHelp) {
  struct Page {
    const char* name;
    const char* program;
  };
  for (const Page& page : {Page{"mdlexport", MDLEXPORT_PATH}, Page{"mdlinfo", MDLINFO_PATH}}) {
    const std::string file = moved_ + "/share/man/man1/" + page.name + ".1";
    const ProgramRun man =
        RunBare({"MANWIDTH=80", "LC_ALL=C.UTF-8", "man", "--warnings", "-l", file});
    EXPECT_EQ(man.status, 0) << page.name;
    EXPECT_EQ(man.err, "") << page.name;
    EXPECT_NE(man.out.find("NAME"), std::string::npos) << page.name;
    EXPECT_NE(man.out.find("EXIT STATUS"), std::string::npos) << page.name;

    // Every long option the program's help names is in its manual page.
    const ProgramRun help = RunProgram(page.program, {"--help"});
    ASSERT_EQ(help.status, 0) << page.name;
    std::set<std::string> options;
    for (size_t at = help.out.find("--"); at != std::string::npos;
         at = help.out.find("--", at + 2)) {
      size_t end = at + 2;
      while (end < help.out.size() &&
             (std::isalnum(static_cast<unsigned char>(help.out[end])) || help.out[end] == '-'))
        ++end;
      if (end > at + 2) options.insert(help.out.substr(at, end - at));
    }
    EXPECT_GE(options.size(), 6u) << page.name;
    for (const std::string& option : options) {
      // The rendered page hyphenates nothing in option names (they are bold
      // words), so they appear as typed.
      EXPECT_NE(man.out.find(option), std::string::npos)
          << page.name << "(1) does not document " << option;
    }
  }
}

}  // namespace
