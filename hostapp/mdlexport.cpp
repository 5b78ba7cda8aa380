// mdlexport: converts a scene file to a Quake MDL model with the Vandrell
// exporter, loaded as its host would load it, the options entered into its
// dialog as a user would enter them.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "Win32StandIn.h"
#include "host/Plugin.h"
#include "hostapp/CommandLine.h"
#include "hostapp/MdlSummary.h"
#include "hostapp/PluginModule.h"
#include "hostapp/SceneImporter.h"
#include "hostapp/SceneListing.h"
#include "hostapp/StandInScene.h"

namespace {

// Exit statuses.
constexpr int kWritten = 0;
constexpr int kNotWritten = 1;
constexpr int kUsageOrScene = 2;

void Complain(const std::string& text) { std::fprintf(stderr, "mdlexport: %s\n", text.c_str()); }

bool IsReadableFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), R_OK) == 0;
}

// Shows which frame is being sampled on one terminal line that it rewrites.
class Progress {
 public:
  Progress(bool shown, hostapp::HostTime start, int ticks_per_frame, int frames)
      : shown_(shown), start_(start), ticks_per_frame_(ticks_per_frame), frames_(frames) {}
  ~Progress() { Finish(); }

  void At(hostapp::HostTime t) {
    if (!shown_) return;
    const int frame = (t - start_) / ticks_per_frame_ + 1;
    if (frame == last_frame_ || frame < 1 || frame > frames_) return;
    last_frame_ = frame;
    std::fprintf(stderr, "\rmdlexport: sampling frame %d of %d", frame, frames_);
    std::fflush(stderr);
    drawn_ = true;
  }
  void Finish() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    drawn_ = false;
  }

 private:
  bool shown_;
  hostapp::HostTime start_;
  int ticks_per_frame_;
  int frames_;
  int last_frame_ = 0;
  bool drawn_ = false;
};

// Frames the export will sample: the dialog's count, limited to the range.
int FramesToSample(const hostapp::MdlExportOptions& options, int range_frames) {
  if (options.frames == "all") return range_frames;
  const long asked = options.frames.empty() ? 1 : std::stol(options.frames);
  return asked < range_frames ? static_cast<int>(asked) : range_frames;
}

}  // namespace

int main(int argc, char** argv) {
  hostapp::MdlExportOptions options;
  std::string error;
  if (!hostapp::ParseCommandLine(argc, argv, &options, &error)) {
    Complain(error);
    std::fprintf(stderr, "Try 'mdlexport --help' for more information.\n");
    return kUsageOrScene;
  }
  if (options.help) {
    std::fputs(hostapp::HelpText().c_str(), stdout);
    return kWritten;
  }
  if (!options.texture.empty() && !IsReadableFile(options.texture)) {
    Complain("cannot read the texture " + options.texture);
    return kUsageOrScene;
  }

  hostapp::StandInScene scene;
  hostapp::ImportOptions import_options;
  import_options.animation = options.animation;
  import_options.frames_per_second = options.frames_per_second;
  import_options.fallback_texture = options.texture;
  hostapp::ImportResult imported;
  if (!hostapp::ImportScene(options.scene, import_options, scene, &imported, &error)) {
    Complain(error);
    return kUsageOrScene;
  }
  if (options.list) {
    std::fputs(hostapp::SceneListing(*imported.imported, imported.timeline.ticks_per_frame).c_str(),
               stdout);
    return kWritten;
  }
  const std::string warnings =
      hostapp::MissingTextureWarnings(*imported.imported, !options.texture.empty());
  if (!warnings.empty()) std::fprintf(stderr, "mdlexport: warning: %s", warnings.c_str());

  hostapp::PluginModule module;
  const std::string module_path = hostapp::ExecutableDirectory() + "/Vandrell.dlo";
  if (!module.Load(module_path)) {
    Complain("cannot load the exporter: " + module.Error());
    return kNotWritten;
  }
  std::unique_ptr<host::SceneExporter> exporter(module.CreateExporter());
  if (!exporter) {
    Complain(module_path + " made no exporter");
    return kNotWritten;
  }

  const hostapp::Timeline& timeline = imported.timeline;
  Progress progress(!options.quiet && isatty(STDERR_FILENO), timeline.start,
                    timeline.ticks_per_frame, FramesToSample(options, timeline.FrameCount()));
  // The scene is evaluated only once the dialog has been confirmed.
  bool evaluated = false;
  scene.SetEvaluationObserver([&](hostapp::StandInNode&, hostapp::HostTime t) {
    evaluated = true;
    progress.At(t);
  });

  win32::SetEchoMessages(true);
  win32::ClearMessages();
  win32::SetDialogScript(hostapp::DialogScript(options, timeline.FrameCount()));
  exporter->ExportScene(options.output.c_str(), &scene, &scene);
  progress.Finish();
  exporter.reset();

  // Every message box the exporter shows reports a failure or nothing to export.
  if (!win32::Messages().empty()) return kNotWritten;
  if (options.cancel) {
    if (!options.quiet) Complain("cancelled; nothing written");
    return kNotWritten;
  }
  if (!evaluated) {
    Complain("the options dialog closed without OK; nothing written");
    return kNotWritten;
  }
  hostapp::MdlSummary summary;
  if (!hostapp::ReadMdlSummary(options.output, &summary, &error)) {
    Complain(error);
    return kNotWritten;
  }
  if (!options.quiet) std::printf("%s\n", hostapp::FormatMdlSummary(options.output, summary).c_str());
  return kWritten;
}
