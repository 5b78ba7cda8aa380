#include "hostapp/module/PluginModule.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#endif

#include <filesystem>
#include <system_error>

namespace hostapp {

namespace {

#ifdef _WIN32
void* OpenModule(const std::string& path, std::string* error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) *error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
  return reinterpret_cast<void*>(module);
}
void* FindEntry(void* module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}
void CloseModule(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }
#else
void* OpenModule(const std::string& path, std::string* error) {
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* reason = dlerror();
    *error = reason ? reason : "cannot load " + path;
  }
  return module;
}
void* FindEntry(void* module, const char* name) { return dlsym(module, name); }
void CloseModule(void* module) { dlclose(module); }
#endif

}  // namespace

PluginModule::~PluginModule() {
  if (handle_) CloseModule(handle_);
}

bool PluginModule::Load(const std::string& path) {
  handle_ = OpenModule(path, &error_);
  if (!handle_) return false;
  auto find = [this, &path](const char* name) -> void* {
    void* symbol = FindEntry(handle_, name);
    if (!symbol && error_.empty()) error_ = path + " has no entry point " + name;
    return symbol;
  };
  lib_description_ = reinterpret_cast<const char* (*)()>(find("LibDescription"));
  lib_number_classes_ = reinterpret_cast<int (*)()>(find("LibNumberClasses"));
  lib_class_desc_ = reinterpret_cast<host::ClassDescriptor* (*)(int)>(find("LibClassDesc"));
  lib_version_ = reinterpret_cast<unsigned long (*)()>(find("LibVersion"));
  if (!error_.empty()) {
    CloseModule(handle_);
    handle_ = nullptr;
    return false;
  }
  return true;
}

const char* PluginModule::Description() const { return lib_description_(); }
int PluginModule::NumberOfClasses() const { return lib_number_classes_(); }
host::ClassDescriptor* PluginModule::ClassDescriptorAt(int i) const { return lib_class_desc_(i); }
unsigned long PluginModule::Version() const { return lib_version_(); }

host::SceneExporter* PluginModule::CreateExporter() const {
  host::ClassDescriptor* descriptor = lib_class_desc_ ? lib_class_desc_(0) : nullptr;
  if (!descriptor) return nullptr;
  return static_cast<host::SceneExporter*>(descriptor->CreateInstance(0));
}

std::optional<unsigned int> PluginModule::ExporterVersion() const {
  host::SceneExporter* exporter = CreateExporter();
  if (!exporter) return std::nullopt;
  const unsigned int version = exporter->GetVersion();
  delete exporter;
  return version;
}

std::string ExporterVersionText(unsigned int version) {
  const unsigned int hundredths = version % 100;
  return std::to_string(version / 100) + (hundredths < 10 ? ".0" : ".") +
         std::to_string(hundredths);
}

std::string ExecutableDirectory() {
#ifdef _WIN32
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) return ".";
  std::string result(path, length);
  const size_t slash = result.find_last_of("\\/");
#else
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return ".";
  std::string result(path, static_cast<size_t>(length));
  const size_t slash = result.rfind('/');
#endif
  return slash == std::string::npos ? "." : result.substr(0, slash);
}

std::vector<std::string> ModuleLocations(const std::string& file_name) {
  const std::string folder = ExecutableDirectory();
  return {folder + "/" + file_name, folder + "/../lib/vandrell/" + file_name};
}

std::string FindModule(const std::string& file_name) {
  for (const std::string& path : ModuleLocations(file_name)) {
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error)) return path;
  }
  return "";
}

}  // namespace hostapp
