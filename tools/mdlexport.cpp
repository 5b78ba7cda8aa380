// mdlexport: converts a scene file into a Quake MDL model with the Vandrell
// exporter, loaded by path as its host would load it. See CliHelpText() for
// the options and the exit statuses.
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PackageVersion.h"
#include "examine/MdlCheck.h"
#include "host/Timing.h"
#include "hostapp/guard/ImportGuard.h"
#include "hostapp/import/SceneImporter.h"
#include "hostapp/module/PluginModule.h"
#include "hostapp/scene/StandInScene.h"
#include "hostapp/user/DialogUser.h"
#include "mdlformat/MdlReader.h"
#include "resources/resource.h"
#include "tools/CliOptions.h"
#include "tools/FrameMacros.h"
#include "tools/SceneSize.h"

namespace {

constexpr int kExitWritten = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// What --list prints: the scene as imported, its unit and its size.
void PrintList(const hostapp::ImportSummary& summary, hostapp::StandInScene& scene) {
  std::printf("nodes (%zu):\n", summary.nodes.size());
  for (const std::string& line : summary.nodes) std::printf("  %s\n", line.c_str());
  std::printf("meshes (%zu):\n", summary.meshes.size());
  for (const std::string& line : summary.meshes) std::printf("  %s\n", line.c_str());
  std::printf("materials (%zu):\n", summary.materials.size());
  for (const std::string& line : summary.materials) std::printf("  %s\n", line.c_str());

  std::printf("textures (%zu):\n", summary.textures.size());
  for (const std::string& line : summary.textures) std::printf("  %s\n", line.c_str());

  std::printf("clips (%zu):\n", summary.clips.size());
  for (size_t i = 0; i < summary.clips.size(); ++i) {
    const hostapp::ClipInfo& clip = summary.clips[i];
    std::printf("  %zu \"%s\": %d frame%s, ticks %d..%d\n", i, clip.name.c_str(), clip.frames,
                clip.frames == 1 ? "" : "s", static_cast<int>(clip.start),
                static_cast<int>(clip.end));
  }
  const int32_t frames =
      host::FramesInRange(summary.range_start, summary.range_end, host::GetTicksPerFrame());
  std::printf("animation range: ticks %d..%d, %d frame%s at %d ticks a frame\n",
              static_cast<int>(summary.range_start), static_cast<int>(summary.range_end),
              static_cast<int>(frames), frames == 1 ? "" : "s", host::GetTicksPerFrame());
  for (const std::string& line : hostapp::UnitAndSizeLines(summary, scene, summary.range_start))
    std::printf("%s\n", line.c_str());
}

// Writes text to path whole or not at all: into a file beside it first, which
// then takes its place. False with the reason in *error.
bool WriteWholeFile(const std::string& path, const std::string& text, std::string* error) {
  const std::string temporary = path + ".part";
  std::FILE* out = std::fopen(temporary.c_str(), "wb");
  if (!out) {
    *error = "cannot write " + temporary;
    return false;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  if (std::fclose(out) != 0 || !written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

// The user's part of the dialog: paste into the fields that were given, set
// the boxes, press OK or Cancel (or, with --dialog, leave that to the person).
// frames and scale are the entries worked out from the scene (--frames all,
// --height); none or empty where the dialog keeps its own.
std::vector<hostapp::UserStep> DialogSteps(const tools::CliOptions& options,
                                           std::optional<int32_t> frames,
                                           const std::string& scale) {
  using hostapp::UserStep;
  std::vector<UserStep> steps;
  if (options.base_name_given) steps.push_back(UserStep::Paste(IDC_BASE_NAME, options.base_name));
  if (frames) steps.push_back(UserStep::Paste(IDC_FRAMES, std::to_string(*frames)));
  if (options.texture_kb)
    steps.push_back(UserStep::Paste(IDC_TEXTURE_LIMIT, std::to_string(*options.texture_kb)));
  if (options.collision_scale)
    steps.push_back(
        UserStep::Paste(IDC_SCALE_COLLISION_BOX, std::to_string(*options.collision_scale)));
  if (!scale.empty()) steps.push_back(UserStep::Paste(IDC_SCALE_MODEL, scale));
  if (options.flat) steps.push_back(UserStep::Check(IDC_GOURAUD_SHADING, false));
  if (options.no_random) steps.push_back(UserStep::Check(IDC_RANDOM, false));
  if (options.fullbright) steps.push_back(UserStep::Check(IDC_FULLBRIGHT_COLORS, true));
  for (int control : options.flag_controls) steps.push_back(UserStep::Check(control, true));
  if (!options.dialog)
    steps.push_back(UserStep::Press(options.cancel ? hostapp::kCancelButton : hostapp::kOkButton));
  return steps;
}

bool StandardErrorIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

// "\rsampling frame k/n" on a terminal, rewritten only when the frame changes.
class Progress {
 public:
  Progress(host::HostTime start, int ticks_per_frame, int frames)
      : start_(start), ticks_per_frame_(ticks_per_frame), frames_(frames) {}
  ~Progress() { Finish(); }

  void At(host::HostTime t) {
    if (ticks_per_frame_ <= 0 || t < start_) return;
    const int64_t index = (static_cast<int64_t>(t) - start_) / ticks_per_frame_;
    if (index == shown_ || index >= frames_) return;
    shown_ = index;
    std::fprintf(stderr, "\rsampling frame %d/%d", static_cast<int>(index) + 1, frames_);
    open_ = true;
    // The line ends as the last frame begins, so that a message box shown
    // after sampling starts a line of its own.
    if (index + 1 == frames_) Finish();
    std::fflush(stderr);
  }
  void Finish() {
    if (open_) std::fputc('\n', stderr);
    open_ = false;
  }
  // A message box was echoed: its line ended the progress line.
  void Interrupted() {
    open_ = false;
    shown_ = -1;
  }

 private:
  host::HostTime start_;
  int ticks_per_frame_;
  int frames_;
  int64_t shown_ = -1;
  bool open_ = false;
};

// Where the exporter module is, found before the long work of the import so
// that a broken installation says so at once. False, after saying so, when
// it is needed and not there.
bool FindExporterModule(bool needed, std::string* path) {
  *path = hostapp::FindModule("Vandrell.dlo");
  if (!path->empty() || !needed) return true;
  std::string places;
  for (const std::string& place : hostapp::ModuleLocations("Vandrell.dlo"))
    places += (places.empty() ? "" : " nor ") + place;
  std::fprintf(stderr, "mdlexport: cannot find the exporter module: there is no %s\n",
               places.c_str());
  return false;
}

// --version: the package's version, then the version the module that an
// export would load reports through its exporter interface.
int PrintVersions() {
  std::printf("mdlexport %s\n", vandrell::kPackageVersion);
  std::string module_path;
  if (!FindExporterModule(true, &module_path)) return kExitFailed;
  hostapp::PluginModule module;
  if (!module.Load(module_path)) {
    std::fprintf(stderr, "mdlexport: cannot load the exporter: %s\n", module.Error().c_str());
    return kExitFailed;
  }
  const std::optional<unsigned int> version = module.ExporterVersion();
  if (!version) {
    std::fprintf(stderr, "mdlexport: %s makes no exporter\n", module_path.c_str());
    return kExitFailed;
  }
  // Installed, the module is found through ../lib/vandrell: said without the "..".
  std::printf("exporter %s: version %s\n",
              std::filesystem::path(module_path).lexically_normal().string().c_str(),
              hostapp::ExporterVersionText(*version).c_str());
  return kExitWritten;
}

hostapp::ImportOptions ImportOptionsOf(const tools::CliOptions& options) {
  hostapp::ImportOptions import_options;
  import_options.animation = options.animation;
  import_options.frames_per_second = options.frames_per_second;
  import_options.fallback_texture = options.texture;
  import_options.units = options.units;
  import_options.up = options.up;
  import_options.turn = options.turn;
  import_options.player = options.player;
  import_options.skin = options.skin;
  return import_options;
}

// Imports the scene once in a child process under limits, so that a crash
// or a runaway inside the import library ends a child, not us. False after
// saying why it did not pass.
bool TrialImportPasses(const std::string& scene_path, hostapp::ImportOptions import_options,
                       const hostapp::ImportLimits& limits) {
  // The trial scene is thrown away: its textures need not be read.
  import_options.read_textures = false;
  const hostapp::GuardReport preflight = hostapp::RunGuarded(limits, [&](std::string* reason) {
    hostapp::StandInScene trial_scene;
    hostapp::SceneImporter trial;
    const bool read = trial.Import(scene_path, import_options, trial_scene);
    if (!read) *reason = trial.Error();
    return read;
  });
  if (preflight.outcome == hostapp::GuardOutcome::kPassed) return true;
  std::fprintf(stderr, "mdlexport: %s\n",
               hostapp::GuardMessage(scene_path, limits, preflight).c_str());
  return false;
}

// The scale field's entry: --scale as given, or with --height the scale that
// makes the scene that tall at time t; empty for the dialog's own. False
// after saying why the height cannot be reached.
bool ScaleEntry(std::optional<int32_t> scale, std::optional<int32_t> height,
                hostapp::StandInScene& scene, host::HostTime t, std::string* entry) {
  if (!height) {
    *entry = scale ? std::to_string(*scale) : "";
    return true;
  }
  std::string error;
  if (hostapp::ScaleForHeight(scene, t, *height, entry, &error)) return true;
  std::fprintf(stderr, "mdlexport: --height %d: %s\n", static_cast<int>(*height), error.c_str());
  return false;
}

// The exporter that the module at path makes, kept alive by *module; null
// after saying why there is none.
std::unique_ptr<host::SceneExporter> LoadExporter(const std::string& path,
                                                  hostapp::PluginModule* module) {
  if (!module->Load(path)) {
    std::fprintf(stderr, "mdlexport: cannot load the exporter: %s\n", module->Error().c_str());
    return nullptr;
  }
  std::unique_ptr<host::SceneExporter> exporter(module->CreateExporter());
  if (!exporter) std::fprintf(stderr, "mdlexport: %s makes no exporter\n", path.c_str());
  return exporter;
}

// What became of the export at the dialog.
struct DialogExport {
  hostapp::UserRun run;
  // Scene evaluations the exporter made: a written file always comes from a
  // scene the exporter read, so none tells that it never ran.
  long evaluations = 0;
};

// Exports the scene to output with the user's steps at the options dialog
// (hand_over: leaving it open to the person at the screen), echoing every
// message box, with progress over the frames to sample unless quiet.
DialogExport ExportAtTheDialog(host::SceneExporter& exporter, hostapp::StandInScene& scene,
                               const std::string& output,
                               const std::vector<hostapp::UserStep>& steps, bool hand_over,
                               int frames_to_sample, bool quiet) {
  DialogExport result;
  Progress progress(scene.GetAnimationRange().start, host::GetTicksPerFrame(), frames_to_sample);
  const bool show_progress = !quiet && StandardErrorIsTerminal();
  scene.SetEvaluationObserver([&](hostapp::StandInNode&, host::HostTime t) {
    ++result.evaluations;
    if (show_progress) progress.At(t);
  });
  hostapp::UserSettings settings;
  settings.target = output;
  settings.hand_over = hand_over;
  settings.on_message = [&](const hostapp::ShownMessage& message) {
    std::fprintf(stderr, "%s: %s\n", message.caption.c_str(), message.text.c_str());
    if (show_progress) progress.Interrupted();
  };
  result.run = hostapp::RunAsUser(
      steps, settings, [&] { return exporter.ExportScene(output.c_str(), &scene, &scene); });
  progress.Finish();
  scene.SetEvaluationObserver(nullptr);
  return result;
}

// Whether the export ran through to a written file; false, after saying why
// where no message box has, when it did not.
bool ExportRanThrough(const DialogExport& result, const tools::CliOptions& options) {
  if (!result.run.error.empty()) {
    std::fprintf(stderr, "mdlexport: the options dialog refused the options: %s\n",
                 result.run.error.c_str());
    return false;
  }
  if (options.cancel) {
    if (!options.quiet) std::fprintf(stderr, "mdlexport: cancelled, nothing written\n");
    return false;
  }
  // Every failure, and "No data to export", was shown in a message box.
  if (!result.run.messages.empty()) return false;
  if (options.dialog && result.run.dialog_shown && result.evaluations == 0) {
    if (!options.quiet)
      std::fprintf(stderr, "mdlexport: cancelled in the dialog, nothing written\n");
    return false;
  }
  if (result.evaluations == 0) {
    std::fprintf(stderr, "mdlexport: the exporter did not run (its options dialog did not open)\n");
    return false;
  }
  return true;
}

// Reads the written model back; what we write holds exactly what its counts
// call for. False after saying why it does not.
bool ReadWrittenModel(const std::string& path, vandrell::MdlFile* file) {
  std::string error;
  if (vandrell::ReadMdlFile(path, file, &error) && file->trailing_bytes == 0) return true;
  if (file->trailing_bytes != 0)
    error = std::to_string(file->trailing_bytes) + " bytes follow the last frame";
  std::fprintf(stderr, "mdlexport: %s: the written file does not read back: %s\n", path.c_str(),
               error.c_str());
  return false;
}

// The summary line of a written model; scaled is what --height made of the
// scale, or empty.
void PrintSummaryLine(const std::string& path, const vandrell::MdlFileHeader& h,
                      const std::string& scaled) {
  std::FILE* written = std::fopen(path.c_str(), "rb");
  long bytes = -1;
  if (written) {
    if (std::fseek(written, 0, SEEK_END) == 0) bytes = std::ftell(written);
    std::fclose(written);
  }
  std::printf("%s: %d vertices, %d triangles, %d frames, skin %dx%d, %ld bytes%s\n", path.c_str(),
              h.numverts, h.numtris, h.numframes, h.skinwidth, h.skinheight, bytes, scaled.c_str());
}

// Writes the QuakeC frame macros of the written model's frames, sampled from
// range_start on, to path. False after saying why it could not.
bool WriteFrameMacros(const std::string& path, const vandrell::MdlFile& file,
                      const std::vector<hostapp::ClipInfo>& timeline, host::HostTime range_start) {
  // The exporter names frame i its base name and i: frame 0 gives the base.
  std::string base = file.frames.empty() ? "" : file.frames.front().name;
  if (!base.empty() && base.back() == '0') base.pop_back();
  const std::string lines = hostapp::FrameMacroLines(
      timeline, range_start, host::GetTicksPerFrame(), static_cast<int>(file.frames.size()), base);
  std::string error;
  if (WriteWholeFile(path, lines, &error)) return true;
  std::fprintf(stderr, "mdlexport: --qc: %s\n", error.c_str());
  return false;
}

// One warning line for each engine that will not load the model written to
// path, one note line for each that loads it with a caution; true when some
// engine refuses it (a note alone lets --strict pass).
bool WarnOfRefusingEngines(const std::string& path, const vandrell::MdlFileHeader& header) {
  bool refused = false;
  for (const vandrell::EngineVerdict& verdict : vandrell::JudgeEngines(header)) {
    const char* engine = verdict.engine.c_str();
    if (!verdict.problems.empty()) {
      refused = true;
      std::fprintf(stderr, "mdlexport: warning: %s will not load %s: %s\n", engine, path.c_str(),
                   vandrell::JoinProblems(verdict.problems).c_str());
    } else if (!verdict.cautions.empty()) {
      const std::string cautions = vandrell::JoinProblems(verdict.cautions);
      if (verdict.protocol)
        std::fprintf(stderr, "mdlexport: note: over %s, %s %s\n", engine, path.c_str(),
                     cautions.c_str());
      else
        std::fprintf(stderr, "mdlexport: note: %s loads %s, but %s\n", engine, path.c_str(),
                     cautions.c_str());
    }
  }
  return refused;
}

// Exports the imported scene with the exporter of module_path as the
// options say, reads back what it wrote and reports on it; the exit status.
// timeline holds the clips the import laid out.
int ExportImported(const tools::CliOptions& options, hostapp::StandInScene& scene,
                   const std::vector<hostapp::ClipInfo>& timeline, const std::string& module_path) {
  const host::ValidityInterval range = scene.GetAnimationRange();
  const int32_t range_frames =
      host::FramesInRange(range.start, range.end, host::GetTicksPerFrame());
  const std::optional<int32_t> frames = options.all_frames ? range_frames : options.frames;
  std::string scale;
  if (!ScaleEntry(options.scale, options.height, scene, range.start, &scale)) return kExitFailed;

  hostapp::PluginModule module;
  const std::unique_ptr<host::SceneExporter> exporter = LoadExporter(module_path, &module);
  if (!exporter) return kExitFailed;
  // The exporter never samples more frames than the range holds.
  const DialogExport result =
      ExportAtTheDialog(*exporter, scene, options.output, DialogSteps(options, frames, scale),
                        options.dialog, std::min(frames.value_or(1), range_frames), options.quiet);
  if (!ExportRanThrough(result, options)) return kExitFailed;

  vandrell::MdlFile file;
  if (!ReadWrittenModel(options.output, &file)) return kExitFailed;
  if (!options.quiet) {
    PrintSummaryLine(
        options.output, file.header,
        options.height ? ", scale " + scale + "% for a height of " + std::to_string(*options.height)
                       : "");
  }
  if (!options.qc.empty() && !WriteFrameMacros(options.qc, file, timeline, range.start))
    return kExitFailed;
  const bool refused = WarnOfRefusingEngines(options.output, file.header);
  return refused && options.strict ? kExitFailed : kExitWritten;
}

int Run(int argc, char** argv) {
  tools::CliOptions options;
  std::string error;
  if (!tools::ParseCliOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "mdlexport: %s\nTry 'mdlexport --help'.\n", error.c_str());
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(tools::CliHelpText().c_str(), stdout);
    return kExitWritten;
  }
  if (options.version) return PrintVersions();
  if (options.dialog && !hostapp::RealDialogs()) {
    std::fprintf(stderr,
                 "mdlexport: --dialog shows the options dialog on Windows; this build has no "
                 "dialogs to show\n");
    return kExitUsage;
  }
  std::string module_path;
  if (!FindExporterModule(!options.list, &module_path)) return kExitFailed;

  const hostapp::ImportOptions import_options = ImportOptionsOf(options);
  if (!TrialImportPasses(options.scene, import_options,
                         {options.import_memory_mib, options.import_seconds}))
    return kExitUsage;
  hostapp::StandInScene scene;
  hostapp::SceneImporter importer;
  if (!importer.Import(options.scene, import_options, scene)) {
    std::fprintf(stderr, "mdlexport: %s: %s\n", options.scene.c_str(), importer.Error().c_str());
    return kExitUsage;
  }
  const hostapp::ImportSummary& summary = importer.Summary();
  if (options.list) {
    PrintList(summary, scene);
    if (!summary.axes.empty()) std::printf("axes: %s\n", summary.axes.c_str());
    if (!summary.without_mesh.empty())
      std::printf("nothing to export: the file %s\n", summary.without_mesh.c_str());
    return kExitWritten;
  }
  // Said here, in the file's terms, rather than as the exporter's "No data
  // to export".
  if (!summary.without_mesh.empty()) {
    std::fprintf(stderr, "mdlexport: %s %s\n", options.scene.c_str(), summary.without_mesh.c_str());
    return kExitFailed;
  }
  for (const std::string& warning : summary.warnings)
    std::fprintf(stderr, "mdlexport: warning: %s\n", warning.c_str());
  return ExportImported(options, scene, summary.timeline, module_path);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mdlexport: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "mdlexport: an unknown exception ended the export\n");
  }
  return kExitFailed;
}
