#include "export/ExportSettings.h"

namespace vandrell {

ExportSettings g_export_settings;

}  // namespace vandrell
