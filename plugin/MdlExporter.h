#pragma once
#include <cstdio>

#include "host/Plugin.h"
#include "model/MdlModel.h"

namespace vandrell {

// The scene exporter the host drives: names the "MDL" file type and writes the
// scene as a Quake MDL model.
class MdlExporter : public host::SceneExporter {
 public:
  MdlExporter() = default;
  ~MdlExporter() override = default;

  int GetExtensionCount() override;
  const char* GetExtension(int n) override;
  const char* GetLongDescription() override;
  const char* GetShortDescription() override;
  const char* GetAuthor() override;
  const char* GetCopyright() override;
  const char* GetOtherMessage1() override;
  const char* GetOtherMessage2() override;
  unsigned int GetVersion() override;
  void ShowAboutBox(void* parentWindow) override;
  // Runs the export; 1 whatever the outcome, since every failure has been
  // shown to the user.
  int ExportScene(const char* path, host::ExportInterface* exportInterface,
                  host::HostInterface* hostInterface) override;

  // One export: 1 when the file was written or there was nothing to export, 0
  // when the dialog was cancelled or the export failed (after its message).
  int RunExport(const char* path, host::ExportInterface* exportInterface,
                host::HostInterface* hostInterface);
  // Writes the model's five sections; 1, or 0 at the first short write.
  int WriteModel(FILE* stream);

  MdlModel& Model() { return model_; }

 private:
  MdlModel model_;
};

}  // namespace vandrell
