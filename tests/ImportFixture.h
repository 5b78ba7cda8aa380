#pragma once
// A scene imported from a file the test wrote into its own temporary folder;
// the host's ticks per frame, which an import sets, are put back afterwards.

#include <gtest/gtest.h>

#include <string>

#include "host/Timing.h"
#include "hostapp/import/SceneImporter.h"
#include "hostapp/scene/StandInScene.h"
#include "tests/TestSupport.h"

namespace testing_support {

class ImportFixture : public ::testing::Test {
 protected:
  void TearDown() override { host::SetTicksPerFrame(160); }
  // Imports path into scene_; a failure is a test failure with the reason.
  bool Load(const std::string& path, hostapp::ImportOptions options = {}) {
    const bool ok = importer_.Import(path, options, scene_);
    if (!ok) ADD_FAILURE() << importer_.Error();
    return ok;
  }
  TempDir dir_;
  hostapp::SceneImporter importer_;
  hostapp::StandInScene scene_;
};

}  // namespace testing_support
