#pragma once
#include "host/Plugin.h"

namespace vandrell {

// The plug-in's one class: the MDL scene exporter.
class MdlExporterClassDesc : public host::ClassDescriptor {
 public:
  int IsPublicClass() override;
  void* CreateInstance(int loading) override;
  int BeginInteractiveCreate(host::HostInterface* host) override;
  int EndInteractiveCreate(host::HostInterface* host) override;
  const char* GetClassName() override;
  uint32_t GetSuperClassId() override;
  host::Class_ID GetClassId() override;
  const char* GetCategory() override;
  int CanCreate(host::HostInterface* host) override;
};

// The exporter's class id.
constexpr host::Class_ID kMdlExporterClassId(0x5CB45A86, 0x61E0624F);

extern MdlExporterClassDesc g_class_descriptor;

}  // namespace vandrell
