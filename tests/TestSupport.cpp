#include "tests/TestSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "plugin/LibraryEntry.h"
#include "resources/ResourceScript.h"

namespace testing_support {

HINSTANCE AttachExporter() {
  // Any distinct address serves as the handle of the statically linked exporter.
  static HINSTANCE module = [] {
    static char anchor;
    HINSTANCE handle = reinterpret_cast<HINSTANCE>(&anchor);
    std::string error;
    if (!win32::RegisterResourceScript(handle, vandrell::kResourceScript, &error))
      throw std::runtime_error("resource script: " + error);
    DllMain(handle, DLL_PROCESS_ATTACH, nullptr);
    return handle;
  }();
  return module;
}

TempDir::TempDir() {
  char pattern[] = "/tmp/vandrell-test-XXXXXX";
  const char* made = mkdtemp(pattern);
  if (!made) throw std::runtime_error("mkdtemp failed");
  path_ = made;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int32_t ReadInt32(const std::vector<uint8_t>& bytes, size_t offset) {
  const uint32_t value = static_cast<uint32_t>(bytes.at(offset)) |
                         static_cast<uint32_t>(bytes.at(offset + 1)) << 8 |
                         static_cast<uint32_t>(bytes.at(offset + 2)) << 16 |
                         static_cast<uint32_t>(bytes.at(offset + 3)) << 24;
  return static_cast<int32_t>(value);
}

float ReadFloat(const std::vector<uint8_t>& bytes, size_t offset) {
  const uint32_t bits = static_cast<uint32_t>(ReadInt32(bytes, offset));
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

uint32_t FloatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

std::vector<win32::DialogAction> ThenOk(std::vector<win32::DialogAction> actions) {
  actions.push_back(win32::DialogAction::Press(IDOK));
  return actions;
}

std::vector<std::string> MessageTexts() {
  std::vector<std::string> texts;
  for (const win32::MessageRecord& message : win32::Messages()) texts.push_back(message.text);
  return texts;
}

std::string SharedScenesDir() {
  const std::string dir = VANDRELL_SHARED_SCENES;
  struct stat info;
  return stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? dir : std::string();
}

}  // namespace testing_support
