#include "model/MdlModel.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "export/ExportSettings.h"
#include "mdlformat/MdlFormat.h"

namespace vandrell {

namespace {

// Byte count of count records of record_size bytes, or -1 when it does not fit
// a signed 32-bit count.
int64_t CheckedBytes(int64_t count, int64_t record_size) {
  if (count < 0 || count > INT32_MAX / record_size) return -1;
  return count * record_size;
}

// Zero-filled memory; at least one byte so that an empty buffer is still a
// valid, distinct allocation.
void* ZeroedBuffer(int64_t bytes) {
  void* buffer = std::calloc(bytes > 0 ? static_cast<size_t>(bytes) : 1, 1);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // The frame store is written through once, frame after frame: in pages of
  // 2 MiB instead of 4 KiB the kernel takes hundreds of times fewer faults
  // to map it. Only a hint; where the kernel declines, nothing changes.
  constexpr uintptr_t kHugePage = uintptr_t{1} << 21;
  if (buffer && bytes >= static_cast<int64_t>(2 * kHugePage)) {
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(buffer) + page - 1) & ~(page - 1);
    const uintptr_t end =
        (reinterpret_cast<uintptr_t>(buffer) + static_cast<uintptr_t>(bytes)) & ~(page - 1);
    madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
  }
#endif
  return buffer;
}

}  // namespace

MdlModel::MdlModel()
    : skin(nullptr),
      skin_bytes(0),
      work_vertices(nullptr),
      frame_vertices(nullptr),
      vertex_capacity(0),
      work_triangles(nullptr),
      frame_triangles(nullptr),
      triangle_capacity(0),
      frame_capacity(0) {
  SetHeaderDefaults();
  synctype = 1;
  flags = 0;
}

MdlModel::~MdlModel() { ReleaseBuffers(); }

void MdlModel::SetHeaderDefaults() {
  ident = mdl_format::kIdent;
  version = mdl_format::kVersion;
  for (int axis = 0; axis < 3; ++axis) {
    scale[axis] = 1.0f;
    scale_origin[axis] = 0.0f;
    eye_position[axis] = 0.0f;
  }
  bounding_radius = 1.0f;
  numskins = 0;
  skinwidth = 0;
  skinheight = 0;
  numverts = 0;
  numtris = 0;
  numframes = 0;
  size = 1.0f;
}

void MdlModel::ReleaseBuffers() {
  std::free(skin);
  std::free(work_vertices);
  std::free(work_triangles);
  std::free(frame_vertices);
  std::free(frame_triangles);
  skin = nullptr;
  work_vertices = nullptr;
  work_triangles = nullptr;
  frame_vertices = nullptr;
  frame_triangles = nullptr;
  skin_bytes = 0;
  vertex_capacity = 0;
  triangle_capacity = 0;
  frame_capacity = 0;
}

void MdlModel::Reset() {
  ReleaseBuffers();
  SetHeaderDefaults();
}

int MdlModel::Allocate(int32_t face_count) {
  const int64_t frames = g_export_settings.frame_count;
  const int64_t budget = g_export_settings.skin_byte_budget;
  if (face_count < 0 || frames < 0 || budget < 0) return 0;
  const int64_t vertices_per_frame = 3 * static_cast<int64_t>(face_count);
  if (vertices_per_frame > INT32_MAX || vertices_per_frame * frames > INT32_MAX) return 0;
  const int64_t work_vertex_bytes = CheckedBytes(vertices_per_frame, sizeof(FrameVertex));
  const int64_t frame_vertex_bytes = CheckedBytes(vertices_per_frame * frames, sizeof(FrameVertex));
  const int64_t work_triangle_bytes = CheckedBytes(face_count, sizeof(TriangleIndices));
  const int64_t frame_triangle_bytes = CheckedBytes(face_count * frames, sizeof(TriangleIndices));
  if (work_vertex_bytes < 0 || frame_vertex_bytes < 0 || work_triangle_bytes < 0 ||
      frame_triangle_bytes < 0)
    return 0;

  void* new_work_vertices = ZeroedBuffer(work_vertex_bytes);
  void* new_frame_vertices = ZeroedBuffer(frame_vertex_bytes);
  void* new_work_triangles = ZeroedBuffer(work_triangle_bytes);
  void* new_frame_triangles = ZeroedBuffer(frame_triangle_bytes);
  void* new_skin = ZeroedBuffer(budget);
  if (!new_work_vertices || !new_frame_vertices || !new_work_triangles || !new_frame_triangles ||
      !new_skin) {
    std::free(new_work_vertices);
    std::free(new_frame_vertices);
    std::free(new_work_triangles);
    std::free(new_frame_triangles);
    std::free(new_skin);
    return 0;
  }

  ReleaseBuffers();
  vertex_capacity = static_cast<int32_t>(vertices_per_frame);
  triangle_capacity = face_count;
  frame_capacity = static_cast<int32_t>(frames);
  work_vertices = static_cast<FrameVertex*>(new_work_vertices);
  frame_vertices = static_cast<FrameVertex*>(new_frame_vertices);
  work_triangles = static_cast<TriangleIndices*>(new_work_triangles);
  frame_triangles = static_cast<TriangleIndices*>(new_frame_triangles);
  skin = static_cast<uint8_t*>(new_skin);
  skin_bytes = static_cast<int32_t>(budget);
  skinwidth = 128;
  skinheight = static_cast<int32_t>(budget / 128);
  numskins = numskins + 1;
  return 1;
}

void MdlModel::LoadFrame(int32_t f) {
  if (f < 0 || f >= frame_capacity) return;
  std::memcpy(work_vertices, frame_vertices + static_cast<size_t>(f) * vertex_capacity,
              sizeof(FrameVertex) * static_cast<size_t>(vertex_capacity));
  std::memcpy(work_triangles, frame_triangles + static_cast<size_t>(f) * triangle_capacity,
              sizeof(TriangleIndices) * static_cast<size_t>(triangle_capacity));
}

void MdlModel::StoreFrame(int32_t f) {
  if (f < 0) return;
  if (f < frame_capacity) {
    std::memcpy(frame_vertices + static_cast<size_t>(f) * vertex_capacity, work_vertices,
                sizeof(FrameVertex) * static_cast<size_t>(vertex_capacity));
    std::memcpy(frame_triangles + static_cast<size_t>(f) * triangle_capacity, work_triangles,
                sizeof(TriangleIndices) * static_cast<size_t>(triangle_capacity));
  }
  if (numframes < f + 1) numframes = f + 1;
}

void MdlModel::CountStoredFrame(int32_t f) {
  if (f >= 0 && numframes < f + 1) numframes = f + 1;
}

}  // namespace vandrell
