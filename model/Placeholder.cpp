// Placeholder until frame sampling, quantisation, smoothing and merging land.
#include "model/BuildFrames.h"
#include "model/MdlModel.h"
#include "model/NormalTable.h"

namespace vandrell {

const float NormalTable[kNormalCount][3] = {};
int32_t NearestNormalIndex(float, float, float) { return 0; }
void MdlModel::AddTriangle(int32_t, const TriangleInput&) {}
void MdlModel::Quantize() {}
void MdlModel::SmoothNormals() {}
void MdlModel::MergeVertices() {}
int MdlModel::VerticesEqual(int32_t, int32_t) const { return 0; }
int MdlModel::RemoveVertex(int32_t, int32_t) { return numverts; }
BuildStatus BuildFrames(MdlModel&, SceneCollector&) { return BuildStatus::kTooLarge; }

}  // namespace vandrell
