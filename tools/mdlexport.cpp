// mdlexport: converts a scene file into a Quake MDL model with the Vandrell
// exporter, loaded by path as its host would load it. See CliHelpText() for
// the options and the exit statuses.
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "examine/MdlCheck.h"
#include "host/Timing.h"
#include "hostapp/import/FrameMacros.h"
#include "hostapp/import/ImportGuard.h"
#include "hostapp/import/SceneImporter.h"
#include "hostapp/import/SceneSize.h"
#include "hostapp/module/PluginModule.h"
#include "hostapp/scene/StandInScene.h"
#include "hostapp/user/DialogUser.h"
#include "mdlformat/MdlReader.h"
#include "resources/resource.h"
#include "tools/CliOptions.h"

namespace {

constexpr int kExitWritten = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void PrintList(const hostapp::ImportSummary& summary) {
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
std::vector<hostapp::UserStep> DialogSteps(const tools::CliOptions& options,
                                           const std::string& frames) {
  using hostapp::UserStep;
  std::vector<UserStep> steps;
  if (options.base_name_given) steps.push_back(UserStep::Paste(IDC_BASE_NAME, options.base_name));
  if (!frames.empty()) steps.push_back(UserStep::Paste(IDC_FRAMES, frames));
  if (!options.texture_kb.empty())
    steps.push_back(UserStep::Paste(IDC_TEXTURE_LIMIT, options.texture_kb));
  if (!options.collision_scale.empty())
    steps.push_back(UserStep::Paste(IDC_SCALE_COLLISION_BOX, options.collision_scale));
  if (!options.scale.empty()) steps.push_back(UserStep::Paste(IDC_SCALE_MODEL, options.scale));
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
  if (options.dialog && !hostapp::RealDialogs()) {
    std::fprintf(stderr,
                 "mdlexport: --dialog shows the options dialog on Windows; this build has no "
                 "dialogs to show\n");
    return kExitUsage;
  }
  // Found before the long work of the import, so that a broken installation
  // says so at once.
  const std::string module_path = hostapp::FindModule("Vandrell.dlo");
  if (module_path.empty() && !options.list) {
    std::string places;
    for (const std::string& place : hostapp::ModuleLocations("Vandrell.dlo"))
      places += (places.empty() ? "" : " nor ") + place;
    std::fprintf(stderr, "mdlexport: cannot find the exporter module: there is no %s\n",
                 places.c_str());
    return kExitFailed;
  }

  hostapp::ImportOptions import_options;
  import_options.animation = options.animation;
  import_options.frames_per_second = options.frames_per_second;
  import_options.fallback_texture = options.texture;
  import_options.units = options.units;
  import_options.player = options.player;
  import_options.skin = options.skin;
  // A crash or a runaway inside the import library ends a child, not us.
  const hostapp::ImportLimits limits{options.import_memory_mib, options.import_seconds};
  // The trial scene is thrown away: its textures need not be read.
  hostapp::ImportOptions trial_options = import_options;
  trial_options.read_textures = false;
  const hostapp::GuardReport preflight = hostapp::RunGuarded(limits, [&](std::string* reason) {
    hostapp::StandInScene trial_scene;
    hostapp::SceneImporter trial;
    const bool read = trial.Import(options.scene, trial_options, trial_scene);
    if (!read) *reason = trial.Error();
    return read;
  });
  if (preflight.outcome != hostapp::GuardOutcome::kPassed) {
    std::fprintf(stderr, "mdlexport: %s\n",
                 hostapp::GuardMessage(options.scene, limits, preflight).c_str());
    return kExitUsage;
  }

  hostapp::StandInScene scene;
  hostapp::SceneImporter importer;
  if (!importer.Import(options.scene, import_options, scene)) {
    std::fprintf(stderr, "mdlexport: %s: %s\n", options.scene.c_str(), importer.Error().c_str());
    return kExitUsage;
  }
  const hostapp::ImportSummary& summary = importer.Summary();
  if (options.list) {
    PrintList(summary);
    for (const std::string& line : hostapp::UnitAndSizeLines(summary, scene, summary.range_start))
      std::printf("%s\n", line.c_str());
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

  const host::ValidityInterval range = scene.GetAnimationRange();
  const int32_t range_frames =
      host::FramesInRange(range.start, range.end, host::GetTicksPerFrame());
  const std::string frames = options.all_frames ? std::to_string(range_frames) : options.frames;
  // --height becomes the scale the user would have typed.
  if (!options.height.empty() &&
      !hostapp::ScaleForHeight(scene, range.start, std::stod(options.height), &options.scale,
                               &error)) {
    std::fprintf(stderr, "mdlexport: --height %s: %s\n", options.height.c_str(), error.c_str());
    return kExitFailed;
  }

  hostapp::PluginModule module;
  if (!module.Load(module_path)) {
    std::fprintf(stderr, "mdlexport: cannot load the exporter: %s\n", module.Error().c_str());
    return kExitFailed;
  }
  std::unique_ptr<host::SceneExporter> exporter(module.CreateExporter());
  if (!exporter) {
    std::fprintf(stderr, "mdlexport: %s makes no exporter\n", module_path.c_str());
    return kExitFailed;
  }

  // The exporter never samples more frames than the range holds.
  const int requested = frames.empty() ? 1 : std::stoi(frames);
  Progress progress(range.start, host::GetTicksPerFrame(),
                    requested < range_frames ? requested : range_frames);
  // A written file always comes from a scene the exporter read; counting the
  // evaluations tells a fresh file from one that stood there before.
  long evaluations = 0;
  const bool show_progress = !options.quiet && StandardErrorIsTerminal();
  scene.SetEvaluationObserver([&](hostapp::StandInNode&, host::HostTime t) {
    ++evaluations;
    if (show_progress) progress.At(t);
  });

  hostapp::UserSettings settings;
  settings.target = options.output;
  settings.hand_over = options.dialog;
  settings.on_message = [&](const hostapp::ShownMessage& message) {
    std::fprintf(stderr, "%s: %s\n", message.caption.c_str(), message.text.c_str());
    if (show_progress) progress.Interrupted();
  };
  const hostapp::UserRun run = hostapp::RunAsUser(DialogSteps(options, frames), settings, [&] {
    return exporter->ExportScene(options.output.c_str(), &scene, &scene);
  });
  progress.Finish();
  scene.SetEvaluationObserver(nullptr);

  if (!run.error.empty()) {
    std::fprintf(stderr, "mdlexport: the options dialog refused the options: %s\n",
                 run.error.c_str());
    return kExitFailed;
  }
  if (options.cancel) {
    if (!options.quiet) std::fprintf(stderr, "mdlexport: cancelled, nothing written\n");
    return kExitFailed;
  }
  // Every failure, and "No data to export", was shown in a message box.
  if (!run.messages.empty()) return kExitFailed;
  if (options.dialog && run.dialog_shown && evaluations == 0) {
    if (!options.quiet)
      std::fprintf(stderr, "mdlexport: cancelled in the dialog, nothing written\n");
    return kExitFailed;
  }
  if (evaluations == 0) {
    std::fprintf(stderr, "mdlexport: the exporter did not run (its options dialog did not open)\n");
    return kExitFailed;
  }

  vandrell::MdlFile file;
  // What we write holds exactly what its counts call for.
  if (!vandrell::ReadMdlFile(options.output, &file, &error) || file.trailing_bytes != 0) {
    if (file.trailing_bytes != 0)
      error = std::to_string(file.trailing_bytes) + " bytes follow the last frame";
    std::fprintf(stderr, "mdlexport: %s: the written file does not read back: %s\n",
                 options.output.c_str(), error.c_str());
    return kExitFailed;
  }
  if (!options.quiet) {
    const vandrell::MdlFileHeader& h = file.header;
    std::FILE* written = std::fopen(options.output.c_str(), "rb");
    long bytes = -1;
    if (written) {
      if (std::fseek(written, 0, SEEK_END) == 0) bytes = std::ftell(written);
      std::fclose(written);
    }
    const std::string scaled =
        options.height.empty() ? ""
                               : ", scale " + options.scale + "% for a height of " + options.height;
    std::printf("%s: %d vertices, %d triangles, %d frames, skin %dx%d, %ld bytes%s\n",
                options.output.c_str(), h.numverts, h.numtris, h.numframes, h.skinwidth,
                h.skinheight, bytes, scaled.c_str());
  }
  if (!options.qc.empty()) {
    // The exporter names frame i its base name and i: frame 0 gives the base.
    std::string base = file.frames.empty() ? "" : file.frames.front().name;
    if (!base.empty() && base.back() == '0') base.pop_back();
    const std::string lines =
        hostapp::FrameMacroLines(summary.timeline, range.start, host::GetTicksPerFrame(),
                                 static_cast<int>(file.frames.size()), base);
    if (!WriteWholeFile(options.qc, lines, &error)) {
      std::fprintf(stderr, "mdlexport: --qc: %s\n", error.c_str());
      return kExitFailed;
    }
  }

  bool refused = false;
  for (const vandrell::EngineVerdict& verdict : vandrell::JudgeEngines(file.header)) {
    if (verdict.problems.empty()) continue;
    refused = true;
    std::string problems;
    for (const std::string& problem : verdict.problems)
      problems += (problems.empty() ? "" : "; ") + problem;
    std::fprintf(stderr, "mdlexport: warning: %s will not load %s: %s\n", verdict.engine.c_str(),
                 options.output.c_str(), problems.c_str());
  }
  return refused && options.strict ? kExitFailed : kExitWritten;
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
