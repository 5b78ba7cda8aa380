#pragma once
// The two interfaces through which the host drives an exporter plug-in: the
// class descriptor, which makes exporter objects, and the scene exporter.

#include "host/ClassId.h"
#include "host/Scene.h"

#ifdef _WIN32
// The Win32 headers name GetClassName as a macro; include them first, once,
// and take the macro back so the descriptor's operation keeps its name.
#include <windows.h>
#undef GetClassName
#endif

namespace host {

// Describes one class of plug-in object. The operations are virtual, in this
// order; the last six have defaults that a plug-in may keep.
class ClassDescriptor {
 public:
  virtual int IsPublicClass() = 0;
  // A new object of the class; loading is non-zero when the host is reading a
  // saved scene. Null when it cannot be made.
  virtual void* CreateInstance(int loading) = 0;
  virtual int BeginInteractiveCreate(HostInterface* host) = 0;
  virtual int EndInteractiveCreate(HostInterface* host) = 0;
  virtual const char* GetClassName() = 0;
  virtual uint32_t GetSuperClassId() = 0;
  virtual Class_ID GetClassId() = 0;
  virtual const char* GetCategory() = 0;
  virtual int CanCreate(HostInterface* host) = 0;
  virtual int NumParamBlockDescs() { return 0; }
  virtual void ResetClassParams(int fileReset) { (void)fileReset; }
  virtual void SetupClassParams(int version) { (void)version; }
  virtual int NumActionTables() { return 0; }
  virtual void* GetActionTable(int i) { (void)i; return nullptr; }
  virtual void* GetActionCallback(int i) { (void)i; return nullptr; }

 protected:
  ~ClassDescriptor() = default;
};

// A file exporter: names its file types and writes the scene.
class SceneExporter {
 public:
  virtual ~SceneExporter() = default;
  virtual int GetExtensionCount() = 0;
  // File-name extension n, without the dot.
  virtual const char* GetExtension(int n) = 0;
  virtual const char* GetLongDescription() = 0;
  virtual const char* GetShortDescription() = 0;
  virtual const char* GetAuthor() = 0;
  virtual const char* GetCopyright() = 0;
  virtual const char* GetOtherMessage1() = 0;
  virtual const char* GetOtherMessage2() = 0;
  // Version times 100.
  virtual unsigned int GetVersion() = 0;
  virtual void ShowAboutBox(void* parentWindow) = 0;
  // Writes the scene to path; returns 1 when the host should consider the
  // export done (the exporter has reported any failure itself).
  virtual int ExportScene(const char* path, ExportInterface* exportInterface,
                          HostInterface* hostInterface) = 0;
};

}  // namespace host
