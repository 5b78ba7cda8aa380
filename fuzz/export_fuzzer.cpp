// The whole export under hostile input: the bytes become a stand-in scene
// (node trees, transforms with NaN, infinities and huge values, degenerate
// faces, indices outside their arrays, plain, nested and self-referencing
// multi-materials, missing and tiny bitmaps, odd animation ranges and tick
// rates, meshes whose face count changes over time) and the user's entries in
// every field of the options dialog. The export runs through the plug-in
// module's entry points, as the host runs it. After a failure a message box
// was shown and no file is left; after success the file reads back.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Win32StandIn.h"
#include "host/Bitmap.h"
#include "host/Timing.h"
#include "hostapp/module/PluginModule.h"
#include "hostapp/scene/StandInScene.h"
#include "mdlformat/MdlReader.h"
#include "resources/resource.h"

namespace {

// Work per input stays small enough for thousands of runs a minute: the
// animation range holds at most this many frames times faces.
constexpr int64_t kFrameFaceBudget = 3000;
constexpr int kMaxNodes = 8;
constexpr int kMaxVertices = 24;
constexpr int kMaxFaces = 24;
constexpr int kMaxMaterials = 6;
constexpr int kMaxImageSide = 40;

hostapp::PluginModule* g_module = nullptr;
std::string g_target;
// Outcomes so far, printed at exit: a run that never writes a file tests little.
long g_written = 0;
long g_failed = 0;
long g_cancelled = 0;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "export fuzzer: %s\n", what);
  std::abort();
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

float SomeFloat(FuzzedDataProvider& in) {
  static const float kOddValues[] = {0.0f,
                                     1.0f,
                                     -1.0f,
                                     0.5f,
                                     100.0f,
                                     -3.25f,
                                     1e-30f,
                                     1e30f,
                                     -1e30f,
                                     std::numeric_limits<float>::max(),
                                     std::numeric_limits<float>::lowest(),
                                     std::numeric_limits<float>::denorm_min(),
                                     std::numeric_limits<float>::infinity(),
                                     -std::numeric_limits<float>::infinity(),
                                     std::numeric_limits<float>::quiet_NaN()};
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      return in.PickValueInArray(kOddValues);
    case 1:
      return static_cast<float>(in.ConsumeIntegralInRange<int>(-64, 64));
    case 2:
      return in.ConsumeFloatingPoint<float>();
    default:
      return in.ConsumeFloatingPointInRange<float>(-50.0f, 50.0f);
  }
}

host::Point3 SomePoint(FuzzedDataProvider& in) {
  const float x = SomeFloat(in);
  const float y = SomeFloat(in);
  const float z = SomeFloat(in);
  return {x, y, z};
}

// An index that is mostly inside count, sometimes just past it or far away.
uint32_t SomeIndex(FuzzedDataProvider& in, size_t count) {
  switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
      return static_cast<uint32_t>(count);
    case 1:
      return in.ConsumeIntegral<uint32_t>();
    default:
      return count == 0 ? 0
                        : in.ConsumeIntegralInRange<uint32_t>(0, static_cast<uint32_t>(count - 1));
  }
}

host::Matrix3 SomeMatrix(FuzzedDataProvider& in) {
  host::Matrix3 m;
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      return m;
    case 1:
      m.SetTrans(SomePoint(in));
      return m;
    case 2:
      m.RotateZ(SomeFloat(in));
      m.SetTrans(SomePoint(in));
      return m;
    default:
      for (int row = 0; row < 4; ++row) m.SetRow(row, SomePoint(in));
      return m;
  }
}

host::Mesh SomeMesh(FuzzedDataProvider& in) {
  host::Mesh mesh;
  const int vertices = in.ConsumeIntegralInRange<int>(0, kMaxVertices);
  for (int i = 0; i < vertices; ++i) mesh.vertices.push_back(SomePoint(in));
  const int faces = in.ConsumeIntegralInRange<int>(0, kMaxFaces);
  for (int f = 0; f < faces; ++f) {
    host::MeshFace face;
    for (uint32_t& v : face.v) v = SomeIndex(in, mesh.vertices.size());
    face.material_index = in.ConsumeIntegralInRange<int>(0, 3) == 0
                              ? in.ConsumeIntegral<uint16_t>()
                              : in.ConsumeIntegralInRange<uint16_t>(0, 3);
    mesh.faces.push_back(face);
  }
  if (in.ConsumeBool()) {
    const int tverts = in.ConsumeIntegralInRange<int>(0, kMaxVertices);
    for (int i = 0; i < tverts; ++i) mesh.texture_vertices.push_back(SomePoint(in));
    // As many texture faces as faces, or a different number.
    const int tfaces = in.ConsumeBool() ? faces : in.ConsumeIntegralInRange<int>(0, kMaxFaces);
    for (int f = 0; f < tfaces; ++f) {
      host::TextureFace face;
      for (uint32_t& t : face.t) t = SomeIndex(in, mesh.texture_vertices.size());
      mesh.texture_faces.push_back(face);
    }
  }
  return mesh;
}

// Text for a dialog field: a value users try, or any bytes.
std::string SomeText(FuzzedDataProvider& in) {
  static const char* const kTexts[] = {"",
                                       "0",
                                       "1",
                                       "-1",
                                       "-5",
                                       "3",
                                       "10",
                                       "100",
                                       "50",
                                       "0x10",
                                       "inf",
                                       "-inf",
                                       "nan",
                                       " 12",
                                       "12 ",
                                       "1e9",
                                       "1e40",
                                       "+7",
                                       "2147483647",
                                       "2147483648",
                                       "-2147483648",
                                       "99999999999999999999",
                                       "4194304",
                                       "0.5",
                                       "abc",
                                       "ogre",
                                       "a.b",
                                       "averyveryverylongname",
                                       "\xff\xfe"};
  if (in.ConsumeBool()) return in.PickValueInArray(kTexts);
  if (in.ConsumeIntegralInRange<int>(0, 15) == 0)
    return std::string(in.ConsumeIntegralInRange<size_t>(100, 400), '9');
  return in.ConsumeRandomLengthString(48);
}

// In-memory images for the bitmap manager, some of them without pixels.
void RegisterImages(FuzzedDataProvider& in, std::vector<std::string>* names) {
  const int count = in.ConsumeIntegralInRange<int>(0, 3);
  for (int i = 0; i < count; ++i) {
    const std::string name = "image" + std::to_string(i);
    const int width = in.ConsumeIntegralInRange<int>(0, kMaxImageSide);
    const int height = in.ConsumeIntegralInRange<int>(0, kMaxImageSide);
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    const std::vector<uint8_t> given = in.ConsumeBytes<uint8_t>(rgba.size());
    for (size_t k = 0; k < rgba.size(); ++k)
      rgba[k] = given.empty() ? 0x80 : given[k % given.size()];
    host::TheManager->RegisterImage(name, width, height, rgba.data());
    names->push_back(name);
  }
}

// One of the materials made so far, or none.
host::HostMaterial* SomeMaterial(FuzzedDataProvider& in,
                                 const std::vector<host::HostMaterial*>& made) {
  if (made.empty() || in.ConsumeIntegralInRange<int>(0, 3) == 0) return nullptr;
  return made[in.ConsumeIntegralInRange<size_t>(0, made.size() - 1)];
}

void BuildMaterials(FuzzedDataProvider& in, hostapp::StandInScene& scene,
                    const std::vector<std::string>& images,
                    std::vector<host::HostMaterial*>* made) {
  const int count = in.ConsumeIntegralInRange<int>(0, kMaxMaterials);
  for (int i = 0; i < count; ++i) {
    const std::string name = "m" + std::to_string(i);
    if (in.ConsumeIntegralInRange<int>(0, 2) == 0) {
      // A multi-material over earlier materials (plain or multi) and empty
      // slots; perhaps listing itself as well.
      std::vector<host::HostMaterial*> subs;
      const int slots = in.ConsumeIntegralInRange<int>(0, 4);
      for (int s = 0; s < slots; ++s) subs.push_back(SomeMaterial(in, *made));
      hostapp::StandInMaterial* multi = scene.AddMultiMaterial(name, subs);
      if (in.ConsumeIntegralInRange<int>(0, 3) == 0) multi->AddSubMaterial(multi);
      made->push_back(multi);
      continue;
    }
    const host::Color diffuse{SomeFloat(in), SomeFloat(in), SomeFloat(in)};
    hostapp::StandInMaterial* plain = scene.AddMaterial(name, diffuse);
    switch (in.ConsumeIntegralInRange<int>(0, 4)) {
      case 0:
        if (!images.empty())
          plain->SetDiffuseMap(scene.AddBitmapTexture(
              images[in.ConsumeIntegralInRange<size_t>(0, images.size() - 1)]));
        break;
      case 1:
        plain->SetDiffuseMap(scene.AddBitmapTexture("/nonexistent/" + name + ".png"));
        break;
      case 2:
        plain->SetDiffuseMap(scene.AddBitmapTexture(""));
        break;
      case 3:
        plain->SetDiffuseMap(scene.AddOtherTextureMap(host::Class_ID(0x1234, 0x5678)));
        break;
      default:
        break;
    }
    made->push_back(plain);
  }
}

void BuildScene(FuzzedDataProvider& in, hostapp::StandInScene& scene) {
  std::vector<std::string> images;
  RegisterImages(in, &images);
  std::vector<host::HostMaterial*> materials;
  BuildMaterials(in, scene, images, &materials);

  static const int kTickRates[] = {160, 1, 4800, 3, 7, 0, -160, 1 << 30};
  const int ticks = in.ConsumeBool() ? 160 : in.PickValueInArray(kTickRates);
  host::SetTicksPerFrame(ticks);

  int64_t start = 0;
  int64_t end = 0;
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      break;
    case 1:
      end = std::min<int64_t>(
          INT32_MAX, int64_t{in.ConsumeIntegralInRange<int>(0, 40)} * (ticks > 0 ? ticks : 1));
      break;
    case 2:
      start = in.ConsumeIntegral<int32_t>();
      end = in.ConsumeIntegral<int32_t>();
      break;
    default:
      // Near the ends of host time.
      start = in.ConsumeBool() ? INT32_MAX - in.ConsumeIntegralInRange<int>(0, 2000)
                               : INT32_MIN + in.ConsumeIntegralInRange<int>(0, 2000);
      end = in.ConsumeBool() ? INT32_MAX : start + in.ConsumeIntegralInRange<int>(0, 2000);
      if (end > INT32_MAX) end = INT32_MAX;
      break;
  }

  const int nodes = in.ConsumeIntegralInRange<int>(0, kMaxNodes);
  std::vector<hostapp::StandInNode*> made;
  int max_faces = 0;
  for (int i = 0; i < nodes; ++i) {
    hostapp::StandInNode* parent = (!made.empty() && in.ConsumeBool())
                                       ? made[in.ConsumeIntegralInRange<size_t>(0, made.size() - 1)]
                                       : nullptr;
    const std::string name = in.ConsumeBool() ? "node" + std::to_string(i) : SomeText(in);
    hostapp::StandInNode* node = scene.AddNode(name, parent);
    made.push_back(node);
    if (in.ConsumeBool()) {
      node->SetTransform(SomeMatrix(in));
    } else {
      const host::Matrix3 base = SomeMatrix(in);
      const host::Point3 velocity = SomePoint(in);
      node->SetAnimatedTransform([base, velocity](host::HostTime t) {
        host::Matrix3 m = base;
        const float k = static_cast<float>(t) / 160.0f;
        m.SetTrans(base.GetTrans() + velocity * k);
        return m;
      });
    }
    node->SetMaterial(SomeMaterial(in, materials));
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
      case 0:
        break;  // no object
      case 1:
        scene.AddNonGeometricObject(node);
        break;
      case 2: {
        const host::Mesh mesh = SomeMesh(in);
        max_faces = std::max(max_faces, mesh.getNumFaces());
        scene.AddMesh(node, mesh);
        break;
      }
      default: {
        // A mesh that moves, and whose face count may change from frame to frame.
        const host::Mesh mesh = SomeMesh(in);
        max_faces = std::max(max_faces, mesh.getNumFaces());
        const host::Point3 drift = SomePoint(in);
        const int period = in.ConsumeIntegralInRange<int>(0, 3);
        scene.AddAnimatedMesh(node, [mesh, drift, period](host::HostTime t, host::Mesh& out) {
          out = mesh;
          const float k = static_cast<float>(t) * (1.0f / 4800.0f);
          for (host::Point3& p : out.vertices) p = p + drift * k;
          if (period > 0 && !out.faces.empty()) {
            const int64_t step = static_cast<int64_t>(t) / 160;
            const size_t drop =
                static_cast<size_t>(((step % (period + 1)) + period + 1) % (period + 1));
            out.faces.resize(out.faces.size() - std::min(drop, out.faces.size()));
          }
        });
        break;
      }
    }
  }

  // Keep the work of one input bounded: shorten a range that would sample too
  // many frames of these faces, keeping its start. One frame is always sampled.
  const int64_t frames = host::FramesInRange(static_cast<host::HostTime>(start),
                                             static_cast<host::HostTime>(end), ticks);
  const int64_t budget =
      std::max<int64_t>(1, kFrameFaceBudget / std::max<int64_t>(1, int64_t{nodes} * max_faces));
  if (frames > budget) end = start + (budget - 1) * ticks;
  scene.SetAnimationRange(static_cast<host::HostTime>(start), static_cast<host::HostTime>(end));
}

std::vector<win32::DialogAction> DialogScript(FuzzedDataProvider& in) {
  using win32::DialogAction;
  static const int kFields[] = {IDC_BASE_NAME, IDC_FRAMES, IDC_TEXTURE_LIMIT,
                                IDC_SCALE_COLLISION_BOX, IDC_SCALE_MODEL};
  static const int kBoxes[] = {IDC_GOURAUD_SHADING,      IDC_ROTATE,
                               IDC_ROCKET_SMOKE_TRAIL,   IDC_GRENADE_SMOKE_TRAIL,
                               IDC_GIB_LONG_BLOOD_TRAIL, IDC_GIB_SHORT_BLOOD_TRAIL,
                               IDC_WIZARD_GREEN_TRACER,  IDC_HELLKNIGHT_YELLOW_TRACER,
                               IDC_VORE_PURPLE_TRACER,   IDC_RANDOM,
                               IDC_FULLBRIGHT_COLORS};
  std::vector<DialogAction> script;
  const int actions = in.ConsumeIntegralInRange<int>(0, 8);
  for (int i = 0; i < actions; ++i) {
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
      case 0:
        script.push_back(DialogAction::Type(in.PickValueInArray(kFields), SomeText(in)));
        break;
      case 1:
      case 2:
        script.push_back(DialogAction::Paste(in.PickValueInArray(kFields), SomeText(in)));
        break;
      default:
        script.push_back(DialogAction::Check(in.PickValueInArray(kBoxes), in.ConsumeBool()));
        break;
    }
  }
  // OK mostly (also when the bytes have run out), Cancel or Escape sometimes.
  switch (in.ConsumeIntegralInRange<int>(0, 15)) {
    case 14:
      script.push_back(DialogAction::Press(IDCANCEL));
      break;
    case 15:
      script.push_back(DialogAction::Escape());
      break;
    default:
      script.push_back(DialogAction::Press(IDOK));
      break;
  }
  return script;
}

// What an input became, for looking into a finding (EXPORT_FUZZER_DESCRIBE=1).
void Describe(hostapp::StandInScene& scene, const std::vector<win32::DialogAction>& script) {
  const host::ValidityInterval range = scene.GetAnimationRange();
  std::fprintf(stderr, "ticks per frame %d, range %d .. %d\n", host::GetTicksPerFrame(),
               static_cast<int>(range.start), static_cast<int>(range.end));
  for (hostapp::StandInNode* node : scene.Nodes()) {
    std::fprintf(stderr, "node \"%s\"%s", node->Name().c_str(), node->Parent() ? " (child)" : "");
    if (node->Object() && node->Object()->IsGeometric()) {
      host::HostObject* mesh = node->Object()->ConvertToType(range.start, host::triObjectClassID);
      const host::Mesh& m = static_cast<host::TriObject*>(mesh)->GetMesh();
      std::fprintf(stderr, ": %d vertices, %d faces, %d texture vertices", m.getNumVerts(),
                   m.getNumFaces(), m.getNumTVerts());
    }
    std::fputc('\n', stderr);
  }
  for (const win32::DialogAction& action : script) {
    std::fprintf(stderr, "dialog: kind %d, control %d, \"%s\", %d\n", static_cast<int>(action.kind),
                 action.control_id, action.text.c_str(), action.checked ? 1 : 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static hostapp::PluginModule module;
  const std::string path = hostapp::ExecutableDirectory() + "/Vandrell.dlo";
  if (!module.Load(path)) {
    std::fprintf(stderr, "export fuzzer: cannot load %s: %s\n", path.c_str(),
                 module.Error().c_str());
    std::exit(1);
  }
  g_module = &module;
  char folder[] = "/tmp/vandrell-export-fuzz-XXXXXX";
  if (!mkdtemp(folder)) Fail("cannot make a temporary folder");
  static const std::string kFolder = folder;
  g_target = kFolder + "/out.mdl";
  std::atexit([] {
    std::fprintf(stderr, "export fuzzer: %ld written, %ld failed with a message, %ld cancelled\n",
                 g_written, g_failed, g_cancelled);
    std::remove(g_target.c_str());
    rmdir(kFolder.c_str());
  });
  win32::SetEchoMessages(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  std::remove(g_target.c_str());

  std::unique_ptr<host::SceneExporter> exporter(g_module->CreateExporter());
  if (!exporter) Fail("the module makes no exporter");
  hostapp::StandInScene scene;
  BuildScene(in, scene);
  const std::vector<win32::DialogAction> script = DialogScript(in);
  if (std::getenv("EXPORT_FUZZER_DESCRIBE")) Describe(scene, script);
  const bool cancels =
      script.back().kind != win32::DialogAction::kPress || script.back().control_id != IDOK;

  win32::ClearMessages();
  win32::SetDialogScript(script);
  if (exporter->ExportScene(g_target.c_str(), &scene, &scene) != 1)
    Fail("ExportScene does not return 1");
  host::TheManager->ForgetImages();

  const bool shown = !win32::Messages().empty();
  const bool refused = !win32::LastDialog().script_error.empty();
  if (refused) Fail(("the dialog refused the script: " + win32::LastDialog().script_error).c_str());
  if (cancels || shown) {
    if (cancels && shown) Fail("a cancelled export showed a message");
    if (Exists(g_target)) Fail("a failed or cancelled export left a file");
    ++(cancels ? g_cancelled : g_failed);
    return 0;
  }
  if (!Exists(g_target)) Fail("an export without a message wrote no file");
  vandrell::MdlFile file;
  std::string error;
  if (!vandrell::ReadMdlFile(g_target, &file, &error)) {
    std::fprintf(stderr, "export fuzzer: %s\n", error.c_str());
    Fail("the written file does not read back");
  }
  if (file.trailing_bytes != 0) Fail("the written file is longer than its counts call for");
  std::remove(g_target.c_str());
  ++g_written;
  return 0;
}
