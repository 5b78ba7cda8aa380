#pragma once

#include "model/MdlModel.h"

namespace vandrell {

class SceneCollector;

// How building the model ended.
enum class BuildStatus {
  kBuilt,                // every frame sampled, quantised, smoothed and merged
  kTooLarge,             // the buffers do not fit a signed 32-bit count or memory
  kFaceCountChanged,     // a sampled frame has another face count than collection had
  kSkinBudgetTooSmall,   // even the smallest skin layout exceeds the budget
};

// Builds the model from the collected scene: limits the settings' frame count
// to the animation range, allocates, lays out and paints the skin, samples
// every frame, then quantises, smooths and merges.
BuildStatus BuildFrames(MdlModel& model, SceneCollector& collector);

}  // namespace vandrell
