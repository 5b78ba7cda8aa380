// One export, from the host's call to the closed file.
#include <cstdio>
#include <cstring>

#include <windows.h>

#include "export/ExportSettings.h"
#include "export/OptionsDialog.h"
#include "model/BuildFrames.h"
#include "plugin/MdlExporter.h"
#include "plugin/Resources.h"
#include "resources/resource.h"
#include "scene/MaterialTable.h"
#include "scene/SceneCollector.h"

namespace vandrell {

namespace {

constexpr DWORD kFullPathCapacity = 200;

// The file-name part of a path: what follows its last separator, either kind.
const char* FileNamePart(const char* path) {
  const char* part = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '/' || *p == '\\') part = p + 1;
  }
  return part;
}

// The settings' base name: the file name up to its first ".", at most 16
// characters. A path that does not resolve, or resolves to more than the
// buffer or to no file name, is read as given.
void SetDefaultBaseName(const char* path) {
  char full_path[kFullPathCapacity];
  char* file_part = nullptr;
  const DWORD length = GetFullPathNameA(path, kFullPathCapacity, full_path, &file_part);
  const char* name = (length > 0 && length < kFullPathCapacity && file_part) ? file_part
                                                                              : FileNamePart(path);
  int n = 0;
  while (n < kBaseNameCapacity && name[n] && name[n] != '.') {
    g_export_settings.base_name[n] = name[n];
    ++n;
  }
  g_export_settings.base_name[n] = '\0';
}

// Closes the output stream if the export is left by an exception while it is open.
class StreamGuard {
 public:
  explicit StreamGuard(FILE* stream) : stream_(stream) {}
  ~StreamGuard() {
    if (stream_) std::fclose(stream_);
  }
  StreamGuard(const StreamGuard&) = delete;
  StreamGuard& operator=(const StreamGuard&) = delete;
  void Clear() { stream_ = nullptr; }

 private:
  FILE* stream_;
};

int ShowError(int text_id) { return ShowResMessage(text_id, IDS_CAPTION, MB_OK); }

}  // namespace

int MdlExporter::RunExport(const char* path, host::ExportInterface* exportInterface,
                           host::HostInterface* hostInterface) {
  SetDefaultBaseName(path);

  const INT_PTR choice = DialogBoxParamA(g_module, MAKEINTRESOURCEA(IDD_EXPORT_OPTIONS),
                                         GetActiveWindow(), OptionsDialogProc,
                                         reinterpret_cast<LPARAM>(this));
  if (choice <= 0) return 0;

  // Values the dialog cannot refuse by itself (pasted text, overflowing sizes).
  if (g_export_settings.frame_count < 1) {
    ShowError(IDS_FRAME_COUNT_TOO_SMALL);
    return 0;
  }
  if (g_export_settings.skin_byte_budget < 0) {
    ShowError(IDS_TEXTURE_LIMIT_RANGE);
    return 0;
  }

  // Every export starts from a fresh model; the dialog's synctype and flags stay.
  model_.Reset();

  MaterialTable table;
  const host::ValidityInterval range = hostInterface->GetAnimationRange();
  SceneCollector collector(exportInterface->GetScene(), range.start, range.end, hostInterface,
                           &table);
  if (collector.node_count == 0) {
    ShowError(IDS_NO_DATA);
    return 1;
  }

  switch (BuildFrames(model_, collector)) {
    case BuildStatus::kBuilt:
      break;
    case BuildStatus::kTooLarge:
      ShowResMessageWith(IDS_TOO_LARGE, g_export_settings.base_name, IDS_CAPTION, MB_OK);
      return 0;
    case BuildStatus::kFaceCountChanged:
      ShowError(IDS_FACE_COUNT_CHANGES);
      return 0;
    case BuildStatus::kSkinBudgetTooSmall:
      ShowError(IDS_TEXTURE_LIMIT_TOO_SMALL);
      return 0;
  }

  FILE* stream = std::fopen(path, "wb");
  if (!stream) {
    ShowError(IDS_CANT_CREATE);
    return 0;
  }
  StreamGuard guard(stream);
  const int written = WriteModel(stream);
  const int closed = std::fclose(stream) == 0;
  guard.Clear();
  if (written && closed) return 1;

  ShowError(IDS_WRITE_ERROR);
  std::remove(path);
  return 0;
}

}  // namespace vandrell
