#include "plugin/MdlExporter.h"

#include "plugin/Resources.h"
#include "resources/resource.h"

namespace vandrell {

namespace {
// The one empty string the descriptive operations hand out; never written.
const char kEmptyText[1] = {0};
}  // namespace

int MdlExporter::GetExtensionCount() { return 1; }

const char* MdlExporter::GetExtension(int n) { return n == 0 ? "MDL" : kEmptyText; }

const char* MdlExporter::GetLongDescription() { return LoadResString(IDS_LONG_DESCRIPTION); }
const char* MdlExporter::GetShortDescription() { return LoadResString(IDS_SHORT_DESCRIPTION); }
const char* MdlExporter::GetAuthor() { return LoadResString(IDS_AUTHOR); }
const char* MdlExporter::GetCopyright() { return LoadResString(IDS_COPYRIGHT); }
const char* MdlExporter::GetOtherMessage1() { return kEmptyText; }
const char* MdlExporter::GetOtherMessage2() { return kEmptyText; }
unsigned int MdlExporter::GetVersion() { return 10; }
void MdlExporter::ShowAboutBox(void*) {}

int MdlExporter::ExportScene(const char* path, host::ExportInterface* exportInterface,
                             host::HostInterface* hostInterface) {
  RunExport(path, exportInterface, hostInterface);
  return 1;
}

}  // namespace vandrell
