#pragma once
// Fixtures shared by the tests.

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

#include "Win32StandIn.h"

namespace testing_support {

// Attaches the statically linked exporter to its resource script, as loading
// the module would, so that string and dialog resources resolve. Idempotent.
HINSTANCE AttachExporter();

// A fresh empty folder under the system's temporary folder, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

bool FileExists(const std::string& path);
std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Little-endian fields of a byte buffer.
int32_t ReadInt32(const std::vector<uint8_t>& bytes, size_t offset);
float ReadFloat(const std::vector<uint8_t>& bytes, size_t offset);
uint32_t FloatBits(float value);

// A dialog script that presses OK after the given actions.
std::vector<win32::DialogAction> ThenOk(std::vector<win32::DialogAction> actions = {});

// The texts of the message boxes shown since the last ClearMessages().
std::vector<std::string> MessageTexts();

// Where the shared scenes are, or an empty string when the folder is absent.
std::string SharedScenesDir();

}  // namespace testing_support
