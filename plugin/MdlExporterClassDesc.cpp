#include "plugin/MdlExporterClassDesc.h"

#include <new>

#include "plugin/MdlExporter.h"
#include "plugin/Resources.h"
#include "resources/resource.h"

namespace vandrell {

MdlExporterClassDesc g_class_descriptor;

int MdlExporterClassDesc::IsPublicClass() { return 1; }

void* MdlExporterClassDesc::CreateInstance(int) {
  // The host receives the exporter through its scene-export interface.
  host::SceneExporter* exporter = new (std::nothrow) MdlExporter();
  return exporter;
}

int MdlExporterClassDesc::BeginInteractiveCreate(host::HostInterface*) { return 0; }
int MdlExporterClassDesc::EndInteractiveCreate(host::HostInterface*) { return 0; }
const char* MdlExporterClassDesc::GetClassName() { return LoadResString(IDS_CLASS_NAME); }
uint32_t MdlExporterClassDesc::GetSuperClassId() { return host::kSceneExportSuperClassId; }
host::Class_ID MdlExporterClassDesc::GetClassId() { return kMdlExporterClassId; }
const char* MdlExporterClassDesc::GetCategory() { return LoadResString(IDS_CATEGORY); }
int MdlExporterClassDesc::CanCreate(host::HostInterface*) { return 1; }

}  // namespace vandrell
