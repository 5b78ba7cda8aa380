// Runs the scripted export cases: for each, builds its scene, loads nothing
// new (one module for the whole run, as a host keeps it), exports through the
// options dialog as a user would, and checks what was seen against the
// script. The same program is built for Linux and for Windows; the files it
// leaves in the run folder are compared byte for byte between the two.
//
//   scripted_export CASES RUN_FOLDER [CASE ...]
//
// Prints one line per case and exits 0 when every case (and the module's
// identity) matched, 1 when any did not, 2 for a usage or script error.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "hostapp/module/PluginModule.h"
#include "hostapp/user/DialogUser.h"
#include "wintest/CaseFiles.h"
#include "mdlformat/MdlReader.h"
#include "wintest/CaseScenes.h"
#include "wintest/CaseScript.h"

namespace {

using wintest::ExportCase;

// The largest file a case reads back; a device left at the target would
// otherwise be read for ever.
constexpr size_t kLargestFile = 16 << 20;

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  bytes->clear();
  char buffer[4096];
  size_t got;
  while (bytes->size() <= kLargestFile && (got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
    bytes->append(buffer, got);
  std::fclose(file);
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

std::string Hex(unsigned long value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%lX", value);
  return text;
}

std::string Text(const char* text) { return text ? text : "(null)"; }

// What the module and the exporter it makes answer, by the keys a script's
// identity lines use.
std::vector<std::pair<std::string, std::string>> Identity(const hostapp::PluginModule& module,
                                                          host::SceneExporter& exporter) {
  host::ClassDescriptor* descriptor = module.ClassDescriptorAt(0);
  std::vector<std::pair<std::string, std::string>> answers = {
      {"LibDescription", Text(module.Description())},
      {"LibNumberClasses", std::to_string(module.NumberOfClasses())},
      {"LibVersion", std::to_string(module.Version())},
      {"LibClassDesc1", module.ClassDescriptorAt(1) ? "object" : "null"},
      {"IsPublicClass", std::to_string(descriptor->IsPublicClass())},
      {"ClassName", Text(descriptor->GetClassName())},
      {"SuperClassId", Hex(descriptor->GetSuperClassId())},
      {"ClassId",
       Hex(descriptor->GetClassId().PartA()) + "," + Hex(descriptor->GetClassId().PartB())},
      {"Category", Text(descriptor->GetCategory())},
      {"CanCreate", std::to_string(descriptor->CanCreate(nullptr))},
      {"ExtensionCount", std::to_string(exporter.GetExtensionCount())},
      {"Extension0", Text(exporter.GetExtension(0))},
      {"Extension1", Text(exporter.GetExtension(1))},
      {"LongDescription", Text(exporter.GetLongDescription())},
      {"ShortDescription", Text(exporter.GetShortDescription())},
      {"Author", Text(exporter.GetAuthor())},
      {"Copyright", Text(exporter.GetCopyright())},
      {"OtherMessage1", Text(exporter.GetOtherMessage1())},
      {"OtherMessage2", Text(exporter.GetOtherMessage2())},
      {"Version", std::to_string(exporter.GetVersion())},
  };
  return answers;
}

// Frame count and frame names of a written MDL file; false unless it reads as
// one.
bool ReadFrames(const std::string& bytes, int* frames, std::vector<std::string>* names) {
  vandrell::MdlFile file;
  if (!vandrell::ReadMdl(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &file,
                         nullptr))
    return false;
  *frames = file.header.numframes;
  for (const vandrell::MdlFrame& frame : file.frames) names->push_back(frame.name);
  return true;
}

class CaseCheck {
 public:
  void Expect(bool holds, const std::string& what) {
    if (!holds) failures_.push_back(what);
  }
  void Equal(const std::string& what, const std::string& seen, const std::string& expected) {
    Expect(seen == expected, what + " is \"" + seen + "\", expected \"" + expected + "\"");
  }
  const std::vector<std::string>& Failures() const { return failures_; }

 private:
  std::vector<std::string> failures_;
};

std::vector<std::string> RunCase(const ExportCase& c, host::SceneExporter& exporter,
                                 const std::string& run_folder, int* skipped) {
  CaseCheck check;
  const std::string target = wintest::NativePath(run_folder, c.target);
  std::remove(target.c_str());
  if (c.has_existing && !WriteWholeFile(target, c.existing)) return {"cannot prepare " + target};
  std::string error;
  if (c.small_location && !wintest::LimitFileSize(true, &error)) return {error};

  hostapp::StandInScene scene;
  if (!wintest::BuildCaseScene(c.scene, scene)) return {"unknown scene " + c.scene};

  hostapp::UserSettings settings;
  settings.target = target;
  settings.picture_folder = run_folder;
  const hostapp::UserRun run = hostapp::RunAsUser(
      c.steps, settings, [&] { return exporter.ExportScene(target.c_str(), &scene, &scene); });
  if (c.small_location) wintest::LimitFileSize(false, &error);
  check.Expect(run.error.empty(), "user: " + run.error);
  check.Expect(run.dialog_shown, "the options dialog did not open");
  check.Equal("ExportScene's result", std::to_string(run.export_result), "1");

  if (run.initial.empty()) {
    *skipped += static_cast<int>(c.initial.size());
  } else {
    for (const wintest::InitialCheck& expected : c.initial) {
      const auto found = run.initial.find(expected.control);
      const std::string control = "control " + std::to_string(expected.control);
      if (found == run.initial.end()) {
        check.Expect(false, control + " was not found");
        continue;
      }
      if (expected.kind == wintest::InitialCheck::kChecked) {
        check.Equal(control + " initially", found->second.checked ? "checked" : "unchecked",
                    expected.checked ? "checked" : "unchecked");
      } else if (expected.kind == wintest::InitialCheck::kText) {
        check.Equal(control + "'s initial text", found->second.text, expected.text);
      } else {
        check.Equal(control + "'s text limit", std::to_string(found->second.limit), expected.text);
      }
    }
  }
  for (const auto& expected : c.final_texts) {
    const auto found = run.final_texts.find(expected.first);
    check.Equal("control " + std::to_string(expected.first) + "'s final text",
                found == run.final_texts.end() ? "(none)" : found->second, expected.second);
  }

  check.Equal("message count", std::to_string(run.messages.size()),
              std::to_string(c.messages.size()));
  for (size_t i = 0; i < run.messages.size() && i < c.messages.size(); ++i) {
    const std::string which = "message " + std::to_string(i + 1);
    check.Equal(which + "'s caption", run.messages[i].caption, c.messages[i].caption);
    check.Equal(which + "'s text", run.messages[i].text, c.messages[i].text);
    if (c.messages[i].with_file)
      check.Expect(run.messages[i].target_present, which + " came after the file was removed");
  }

  std::string bytes;
  const bool present = ReadWholeFile(target, &bytes);
  switch (c.file) {
    case ExportCase::kAbsent:
      check.Expect(!present, "the target exists");
      break;
    case ExportCase::kUnchanged:
      check.Expect(present && bytes == c.existing, "the existing target was changed");
      break;
    case ExportCase::kWritten: {
      int frames = 0;
      std::vector<std::string> names;
      if (!present || !ReadFrames(bytes, &frames, &names)) {
        check.Expect(false, "no well-formed MDL file at the target");
        break;
      }
      if (c.frames >= 0)
        check.Equal("frame count", std::to_string(frames), std::to_string(c.frames));
      for (const auto& expected : c.frame_names) {
        const size_t index = static_cast<size_t>(expected.first);
        check.Equal("frame " + std::to_string(index) + "'s name",
                    index < names.size() ? names[index] : "(none)", expected.second);
      }
      break;
    }
  }
  return check.Failures();
}

int Run(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: scripted_export CASES RUN_FOLDER [CASE ...]\n");
    return 2;
  }
  std::string text;
  if (!ReadWholeFile(argv[1], &text)) {
    std::fprintf(stderr, "scripted_export: cannot read %s\n", argv[1]);
    return 2;
  }
  wintest::CaseScript script;
  std::string error;
  if (!wintest::ParseCaseScript(text, &script, &error)) {
    std::fprintf(stderr, "scripted_export: %s: %s\n", argv[1], error.c_str());
    return 2;
  }
  const std::string run_folder = argv[2];
  std::error_code made;
  std::filesystem::create_directories(run_folder, made);
  if (made) {
    std::fprintf(stderr, "scripted_export: cannot make %s: %s\n", run_folder.c_str(),
                 made.message().c_str());
    return 2;
  }
  const std::set<std::string> only(argv + 3, argv + argc);

  // Vandrell.dlo beside the program, where the host keeps its plug-ins; it
  // stays loaded until the program ends, as in the host.
  hostapp::PluginModule module;
  const std::string module_path =
      wintest::NativePath(hostapp::ExecutableDirectory(), "Vandrell.dlo");
  if (!module.Load(module_path)) {
    std::fprintf(stderr, "scripted_export: %s\n", module.Error().c_str());
    return 1;
  }
  host::ClassDescriptor* descriptor = module.ClassDescriptorAt(0);
  if (!descriptor) {
    std::fprintf(stderr, "scripted_export: %s has no class 0\n", module_path.c_str());
    return 1;
  }
  // A new exporter for each export, as the host makes one per export command.
  auto create = [descriptor] {
    return std::unique_ptr<host::SceneExporter>(
        static_cast<host::SceneExporter*>(descriptor->CreateInstance(0)));
  };
  std::unique_ptr<host::SceneExporter> exporter = create();
  if (!exporter) {
    std::fprintf(stderr, "scripted_export: class 0 makes no exporter\n");
    return 1;
  }

  int failed = 0;
  const auto answers = Identity(module, *exporter);
  for (const auto& expected : script.identity) {
    std::string seen = "(no such key)";
    for (const auto& answer : answers)
      if (answer.first == expected.first) seen = answer.second;
    if (seen != expected.second) {
      std::printf("FAIL identity %s: \"%s\", expected \"%s\"\n", expected.first.c_str(),
                  seen.c_str(), expected.second.c_str());
      ++failed;
    }
  }
  if (!script.identity.empty() && failed == 0)
    std::printf("ok   identity (%zu answers)\n", script.identity.size());

  int skipped = 0;
  for (const ExportCase& c : script.cases) {
    if (!only.empty() && !only.count(c.name)) continue;
    exporter = create();
    const std::vector<std::string> failures =
        exporter ? RunCase(c, *exporter, run_folder, &skipped)
                 : std::vector<std::string>{"class 0 makes no exporter"};
    std::printf("%s %s\n", failures.empty() ? "ok  " : "FAIL", c.name.c_str());
    for (const std::string& failure : failures) std::printf("       %s\n", failure.c_str());
    if (!failures.empty()) ++failed;
    std::fflush(stdout);
  }
  if (skipped > 0)
    std::printf("(%d checks of the dialog's initial state need the real dialog; not run here)\n",
                skipped);
  std::printf("%s\n", failed == 0 ? "all cases passed" : "some cases failed");
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "scripted_export: %s\n", e.what());
  }
  return 1;
}
