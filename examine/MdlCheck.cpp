// The format walk: the sections are visited in file order straight from the
// bytes, every value is judged, and repeated faults of one kind become one
// finding with a count and the first example.
#include "examine/MdlCheck.h"

#include <cstring>
#include <limits>

#include "mdlformat/ByteCursor.h"
#include "mdlformat/FileBytes.h"
#include "mdlformat/HeaderCounts.h"
#include "mdlformat/MdlFormat.h"

namespace vandrell {

namespace {

constexpr uint64_t kSaturated = std::numeric_limits<uint64_t>::max();

// Sizes from hostile counts can exceed 64 bits; they stop growing instead.
uint64_t AddSat(uint64_t a, uint64_t b) { return a > kSaturated - b ? kSaturated : a + b; }
uint64_t MulSat(uint64_t a, uint64_t b) {
  return a != 0 && b > kSaturated / a ? kSaturated : a * b;
}

uint64_t Count(int32_t value) { return value < 0 ? 0 : static_cast<uint64_t>(value); }

// Faults of one kind: how many, and the first one described.
struct Tally {
  int64_t count = 0;
  std::string first;
  void Add(const std::string& example) {
    if (count++ == 0) first = example;
  }
};

class FormatWalk {
 public:
  FormatWalk(const uint8_t* data, size_t size, MdlCheckReport* report)
      : in_(data, size), report_(report) {}

  void Run() {
    report_->file_bytes = in_.remaining();
    if (!ReadHeader()) return;
    const MdlFileHeader& h = report_->header;
    report_->engines = JudgeEngines(h);
    if (WalkSkins() && WalkSkinVertices() && WalkTriangles() && WalkFrames()) {
      report_->layout_walked = true;
      // Engines read what the counts call for and ignore the rest.
      if (in_.remaining() != 0)
        Warning(std::to_string(in_.remaining()) +
                " bytes follow the last frame, which games ignore: the counts call for " +
                std::to_string(in_.offset()) + " bytes, the file has " +
                std::to_string(report_->file_bytes));
    }
    Report(seam_, "an on-seam flag other than 0 or 0x20");
    Report(outside_skin_, "a skin vertex outside the " + std::to_string(h.skinwidth) + "x" +
                              std::to_string(h.skinheight) + " skin");
    Report(bad_index_, "a triangle corner outside the " + std::to_string(h.numverts) + " vertices");
    Report(bad_normal_, "a normal index outside 0 to 161");
    Report(bad_interval_, "group intervals not positive and increasing");
    Report(unterminated_, "a frame name filling its 16 bytes without a zero byte",
           FindingSeverity::kWarning);
  }

 private:
  void Error(const std::string& what) {
    report_->findings.push_back({FindingSeverity::kError, what, ""});
  }
  void Warning(const std::string& what) {
    report_->findings.push_back({FindingSeverity::kWarning, what, ""});
  }

  void Report(const Tally& tally, const std::string& what,
              FindingSeverity severity = FindingSeverity::kError) {
    if (tally.count == 0) return;
    report_->findings.push_back(
        {severity,
         what + " (" + std::to_string(tally.count) + " in all; first: " + tally.first + ")", ""});
  }

  void Truncated(const std::string& what) {
    Error("the file ends inside " + what + " at offset " + std::to_string(in_.offset()) +
          ": the counts call for at least " + std::to_string(report_->expected_bytes) +
          " bytes, the file has " + std::to_string(report_->file_bytes));
  }

  bool ReadHeader() {
    MdlFileHeader& h = report_->header;
    if (!in_.Has(mdl_format::kHeaderSize)) {
      Error("the file is " + std::to_string(in_.remaining()) +
            " bytes long, shorter than the 84-byte header");
      return false;
    }
    report_->header_read = ReadMdlHeaderFields(in_, &h);

    if (std::memcmp(h.ident, mdl_format::kMagic, sizeof h.ident) != 0) {
      Error("not an MDL file: the first four bytes are not \"IDPO\"");
      return false;
    }
    // Another version may still have this layout; walking it says more.
    if (h.version != mdl_format::kVersion)
      Error("version " + std::to_string(h.version) + ", not 6");
    const std::vector<HeaderCount> negative = NegativeCounts(MdlHeaderCounts(h));
    for (const HeaderCount& count : negative)
      Error(std::string("negative ") + count.name + " (" + std::to_string(count.value) + ")");
    if (!negative.empty()) return false;

    const uint64_t verts = Count(h.numverts);
    const uint64_t pixels = MulSat(Count(h.skinwidth), Count(h.skinheight));
    uint64_t bytes = mdl_format::kHeaderSize;
    bytes = AddSat(bytes, MulSat(Count(h.numskins), AddSat(mdl_format::kSkinTypeSize, pixels)));
    bytes = AddSat(bytes, MulSat(verts, mdl_format::kSkinVertexSize));
    bytes = AddSat(bytes, MulSat(Count(h.numtris), mdl_format::kTriangleSize));
    bytes = AddSat(
        bytes, MulSat(Count(h.numframes), AddSat(mdl_format::kFrameHeaderSize,
                                                 MulSat(verts, mdl_format::kPackedVertexSize))));
    report_->expected_bytes = bytes;
    return true;
  }

  // A group's member count: at least one.
  bool GroupCount(const std::string& what, int32_t* members) {
    if (!in_.Has(4)) return Truncated(what), false;
    *members = in_.Int32();
    if (*members < 1) {
      Error(what + " is a group of " + std::to_string(*members) + " members");
      return false;
    }
    return true;
  }

  // A group's intervals, each the time its member ends: positive and rising.
  bool Intervals(const std::string& what, int32_t members) {
    if (!in_.Has(4 * static_cast<uint64_t>(members))) return Truncated(what), false;
    float previous = 0.0f;
    for (int32_t m = 0; m < members; ++m) {
      const float interval = in_.Float();
      if (!(interval > previous))
        bad_interval_.Add(what + ", member " + std::to_string(m) + ": " + std::to_string(interval));
      previous = interval;
    }
    return true;
  }

  bool WalkSkins() {
    const MdlFileHeader& h = report_->header;
    const uint64_t pixels = MulSat(Count(h.skinwidth), Count(h.skinheight));
    for (int32_t i = 0; i < h.numskins; ++i) {
      const std::string what = "skin " + std::to_string(i);
      if (!in_.Has(4)) return Truncated(what), false;
      const int32_t type = in_.Int32();
      int32_t members = 1;
      if (type == mdl_format::kSkinTypeGroup) {
        if (!GroupCount(what, &members) || !Intervals(what, members)) return false;
      } else if (type != mdl_format::kSkinTypeSingle) {
        Error(what + " has the unknown type " + std::to_string(type));
        return false;
      }
      const uint64_t bytes = MulSat(pixels, static_cast<uint64_t>(members));
      if (!in_.Has(bytes)) return Truncated(what), false;
      in_.Skip(bytes);
      report_->skin_images += members;
    }
    return true;
  }

  bool WalkSkinVertices() {
    const MdlFileHeader& h = report_->header;
    if (!in_.Has(MulSat(Count(h.numverts), mdl_format::kSkinVertexSize)))
      return Truncated("the skin vertices"), false;
    for (int32_t j = 0; j < h.numverts; ++j) {
      const int32_t on_seam = in_.Int32();
      const int32_t s = in_.Int32();
      const int32_t t = in_.Int32();
      if (on_seam != 0 && on_seam != mdl_format::kOnSeam)
        seam_.Add("vertex " + std::to_string(j) + ", flag " + std::to_string(on_seam));
      // s and t name texel corners: 0 .. width and 0 .. height are all on the skin.
      if (s < 0 || s > h.skinwidth || t < 0 || t > h.skinheight)
        outside_skin_.Add("vertex " + std::to_string(j) + " at s " + std::to_string(s) + ", t " +
                          std::to_string(t));
    }
    return true;
  }

  bool WalkTriangles() {
    const MdlFileHeader& h = report_->header;
    if (!in_.Has(MulSat(Count(h.numtris), mdl_format::kTriangleSize)))
      return Truncated("the triangles"), false;
    for (int32_t k = 0; k < h.numtris; ++k) {
      in_.Int32();  // faces-front: any value is meaningful
      for (int c = 0; c < 3; ++c) {
        const int32_t index = in_.Int32();
        if (index < 0 || index >= h.numverts)
          bad_index_.Add("triangle " + std::to_string(k) + " uses vertex " + std::to_string(index));
      }
    }
    return true;
  }

  bool FrameBody(const std::string& what) {
    const int32_t numverts = report_->header.numverts;
    const uint64_t bytes = AddSat(mdl_format::kFrameBodyHeaderSize,
                                  MulSat(Count(numverts), mdl_format::kPackedVertexSize));
    if (!in_.Has(bytes)) return Truncated(what), false;
    in_.Skip(2 * mdl_format::kPackedVertexSize);
    if (std::memchr(in_.Here(), 0, mdl_format::kFrameNameSize) == nullptr) unterminated_.Add(what);
    in_.Skip(mdl_format::kFrameNameSize);
    for (int32_t j = 0; j < numverts; ++j) {
      in_.Skip(3);
      const uint8_t normal = in_.Uint8();
      if (normal >= mdl_format::kNormalCount)
        bad_normal_.Add(what + ", vertex " + std::to_string(j) + ": " + std::to_string(normal));
    }
    ++report_->frame_poses;
    return true;
  }

  bool WalkFrames() {
    for (int32_t i = 0; i < report_->header.numframes; ++i) {
      const std::string what = "frame " + std::to_string(i);
      if (!in_.Has(4)) return Truncated(what), false;
      if (in_.Int32() == mdl_format::kFrameTypeSingle) {
        if (!FrameBody(what)) return false;
        continue;
      }
      int32_t members = 0;
      if (!GroupCount(what, &members)) return false;
      if (!in_.Has(2 * mdl_format::kPackedVertexSize)) return Truncated(what), false;
      in_.Skip(2 * mdl_format::kPackedVertexSize);
      if (!Intervals(what, members)) return false;
      for (int32_t m = 0; m < members; ++m) {
        if (!FrameBody(what + " member " + std::to_string(m))) return false;
      }
    }
    return true;
  }

  // Every read is checked with Has() first, so the cursor never fails.
  ByteCursor in_;
  MdlCheckReport* report_;
  Tally seam_, outside_skin_, bad_index_, bad_normal_, bad_interval_, unterminated_;
};

}  // namespace

bool MdlCheckReport::HasErrors() const {
  for (const MdlFinding& finding : findings) {
    if (finding.severity == FindingSeverity::kError) return true;
  }
  return false;
}

const char* SeverityName(FindingSeverity severity) {
  return severity == FindingSeverity::kError     ? "error"
         : severity == FindingSeverity::kWarning ? "warning"
                                                 : "note";
}

std::string JoinProblems(const std::vector<std::string>& problems) {
  std::string joined;
  for (const std::string& problem : problems) joined += (joined.empty() ? "" : "; ") + problem;
  return joined;
}

MdlCheckReport CheckMdl(const uint8_t* data, size_t size) {
  MdlCheckReport report;
  FormatWalk(data, size, &report).Run();

  // An engine's refusal is a warning while some engine still loads the model.
  bool any_loads = false;
  for (const EngineVerdict& verdict : report.engines)
    any_loads |= !verdict.protocol && verdict.problems.empty();
  for (const EngineVerdict& verdict : report.engines) {
    if (!verdict.problems.empty()) {
      report.findings.push_back({any_loads ? FindingSeverity::kWarning : FindingSeverity::kError,
                                 JoinProblems(verdict.problems), verdict.engine});
    } else if (!verdict.cautions.empty()) {
      report.findings.push_back(
          {FindingSeverity::kNote, "loads, but " + JoinProblems(verdict.cautions), verdict.engine});
    }
  }
  return report;
}

MdlCheckReport CheckMdlFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, &bytes, nullptr)) {
    MdlCheckReport report;
    report.findings.push_back({FindingSeverity::kError, "cannot read the file", ""});
    return report;
  }
  return CheckMdl(bytes.data(), bytes.size());
}

}  // namespace vandrell
