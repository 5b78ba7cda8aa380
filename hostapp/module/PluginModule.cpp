#include "hostapp/module/PluginModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace hostapp {

PluginModule::~PluginModule() {
  if (handle_) dlclose(handle_);
}

bool PluginModule::Load(const std::string& path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* reason = dlerror();
    error_ = reason ? reason : "cannot load " + path;
    return false;
  }
  auto find = [this, &path](const char* name) -> void* {
    void* symbol = dlsym(handle_, name);
    if (!symbol && error_.empty()) error_ = path + " has no entry point " + name;
    return symbol;
  };
  lib_description_ = reinterpret_cast<const char* (*)()>(find("LibDescription"));
  lib_number_classes_ = reinterpret_cast<int (*)()>(find("LibNumberClasses"));
  lib_class_desc_ = reinterpret_cast<host::ClassDescriptor* (*)(int)>(find("LibClassDesc"));
  lib_version_ = reinterpret_cast<unsigned long (*)()>(find("LibVersion"));
  if (!error_.empty()) {
    dlclose(handle_);
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

std::string ExecutableDirectory() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return ".";
  std::string result(path, static_cast<size_t>(length));
  const size_t slash = result.rfind('/');
  return slash == std::string::npos ? "." : result.substr(0, slash);
}

}  // namespace hostapp
