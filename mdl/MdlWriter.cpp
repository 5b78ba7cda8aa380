// Placeholder until the MDL writer lands: writes nothing and reports failure.
#include "model/MdlModel.h"
#include "plugin/MdlExporter.h"

namespace vandrell {

int MdlModel::WriteHeader(FILE*) const { return 0; }
int MdlModel::WriteSkin(FILE*) const { return 0; }
int MdlModel::WriteSkinVertices(FILE*) const { return 0; }
int MdlModel::WriteTriangles(FILE*) const { return 0; }
int MdlModel::WriteFrames(FILE*) { return 0; }
int MdlExporter::WriteModel(FILE*) { return 0; }

}  // namespace vandrell
