#pragma once
// Loads an exporter plug-in module as the host does: by path, through its four
// exported entry points.

#include <optional>
#include <string>
#include <vector>

#include "host/Plugin.h"

namespace hostapp {

class PluginModule {
 public:
  PluginModule() = default;
  ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  // Opens the module and finds its entry points; false with a reason in
  // Error() when the file cannot be loaded or lacks an entry point.
  bool Load(const std::string& path);
  const std::string& Error() const { return error_; }

  const char* Description() const;
  int NumberOfClasses() const;
  host::ClassDescriptor* ClassDescriptorAt(int i) const;
  unsigned long Version() const;

  // A new exporter from class descriptor 0, or null; delete it when done.
  host::SceneExporter* CreateExporter() const;

  // The version number the module's exporter reports through its interface
  // (GetVersion: the version times 100), asked of an exporter made from
  // class descriptor 0 for the question and deleted again. Empty when no
  // module is loaded or it makes no exporter.
  std::optional<unsigned int> ExporterVersion() const;

 private:
  void* handle_ = nullptr;
  std::string error_;
  const char* (*lib_description_)() = nullptr;
  int (*lib_number_classes_)() = nullptr;
  host::ClassDescriptor* (*lib_class_desc_)(int) = nullptr;
  unsigned long (*lib_version_)() = nullptr;
};

// An exporter's version number (the version times 100) as people write it:
// 10 is "0.10", 120 is "1.20".
std::string ExporterVersionText(unsigned int version);

// The folder of the running program, for finding Vandrell.dlo beside it.
std::string ExecutableDirectory();

// Where a program looks for a module of this name, in order: beside itself
// (a build tree, the Windows folder), then in ../lib/vandrell from there (an
// installed tree, bin/ and lib/vandrell/ under one prefix).
std::vector<std::string> ModuleLocations(const std::string& file_name);

// The first of ModuleLocations that holds a file; empty when none does.
std::string FindModule(const std::string& file_name);

}  // namespace hostapp
