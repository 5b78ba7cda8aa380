// The limits each engine's model loader enforces on an MDL header. A loader
// that meets one of these stops with an error (or, in the software renderer,
// would draw past its buffers), so each is reported as a refusal. What a
// loader only warns about, and what the standard network protocol cannot
// send, are cautions.
#include <string>
#include <vector>

#include "examine/MdlCheck.h"

namespace vandrell {

namespace {

std::string Plural(int32_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// "2277 vertices, more than 2000" when count exceeds limit.
void AtMost(std::vector<std::string>* problems, int32_t count, int32_t limit, const char* one,
            const char* many) {
  if (count > limit)
    problems->push_back(Plural(count, one, many) + ", more than " + std::to_string(limit));
}

void NoneOf(std::vector<std::string>* problems, int32_t count, const char* many) {
  if (count <= 0) problems->push_back(std::string("no ") + many);
}

}  // namespace

std::vector<EngineVerdict> JudgeEngines(const MdlFileHeader& h) {
  std::vector<EngineVerdict> verdicts;

  // The original software renderer, shared by Quake and QuakeWorld: its skin
  // span drawing needs widths in steps of 4 and at most 480 rows.
  EngineVerdict quake{"Quake and QuakeWorld", {}, {}, false};
  AtMost(&quake.problems, h.numverts, 2000, "vertex", "vertices");
  if (h.skinheight > 480)
    quake.problems.push_back("a skin " + std::to_string(h.skinheight) +
                             " pixels tall, more than 480");
  if (h.skinwidth % 4 != 0)
    quake.problems.push_back("a skin " + std::to_string(h.skinwidth) +
                             " pixels wide, not a multiple of 4");
  NoneOf(&quake.problems, h.numverts, "vertices");
  NoneOf(&quake.problems, h.numtris, "triangles");
  NoneOf(&quake.problems, h.numskins, "skins");
  NoneOf(&quake.problems, h.numframes, "frames");
  verdicts.push_back(quake);

  EngineVerdict gl{"GLQuake", {}, {}, false};
  AtMost(&gl.problems, h.numverts, 1024, "vertex", "vertices");
  AtMost(&gl.problems, h.numtris, 2048, "triangle", "triangles");
  AtMost(&gl.problems, h.numframes, 256, "frame", "frames");
  verdicts.push_back(gl);

  EngineVerdict fitz{"QuakeSpasm and FitzQuake", {}, {}, false};
  AtMost(&fitz.problems, h.numverts, 2000, "vertex", "vertices");
  AtMost(&fitz.problems, h.numtris, 4096, "triangle", "triangles");
  AtMost(&fitz.problems, h.numframes, 256, "frame", "frames");
  if (h.numskins < 1 || h.numskins > 32)
    fitz.problems.push_back(Plural(h.numskins, "skin", "skins") + ", outside 1 to 32");
  verdicts.push_back(fitz);

  // ironwail raised QuakeSpasm's limits; beyond the old ones it still loads
  // the model, with a warning in its console.
  EngineVerdict ironwail{"ironwail", {}, {}, false};
  AtMost(&ironwail.problems, h.numverts, 32767, "vertex", "vertices");
  AtMost(&ironwail.problems, h.numframes, 1024, "frame", "frames");
  if (ironwail.problems.empty()) {
    AtMost(&ironwail.cautions, h.numverts, 2000, "vertex", "vertices");
    AtMost(&ironwail.cautions, h.numtris, 4096, "triangle", "triangles");
    if (!ironwail.cautions.empty())
      ironwail.cautions.front() = "warns of " + ironwail.cautions.front();
  }
  verdicts.push_back(ironwail);

  EngineVerdict vk{"vkQuake", {}, {}, false};
  AtMost(&vk.problems, h.numverts, 2000, "vertex", "vertices");
  AtMost(&vk.problems, h.numtris, 4096, "triangle", "triangles");
  AtMost(&vk.problems, h.numframes, 1024, "frame", "frames");
  verdicts.push_back(vk);

  EngineVerdict dp{"DarkPlaces", {}, {}, false};
  AtMost(&dp.problems, h.numskins, 65536, "skin", "skins");
  if (h.skinwidth > 65536)
    dp.problems.push_back("a skin " + std::to_string(h.skinwidth) +
                          " pixels wide, more than 65536");
  if (h.skinheight > 65536)
    dp.problems.push_back("a skin " + std::to_string(h.skinheight) +
                          " pixels tall, more than 65536");
  AtMost(&dp.problems, h.numverts, 65536, "vertex", "vertices");
  AtMost(&dp.problems, h.numtris, 65536, "triangle", "triangles");
  AtMost(&dp.problems, h.numframes, 65536, "frame", "frames");
  if (h.synctype != 0 && h.synctype != 1)
    dp.problems.push_back("synctype " + std::to_string(h.synctype) + ", neither 0 nor 1");
  verdicts.push_back(dp);

  // Protocol 15 sends an entity's frame number as one byte: over it a model
  // shows its first 256 frames only (the extended protocols 666 and 999 send
  // more).
  EngineVerdict protocol{"network protocol 15", {}, {}, true};
  if (h.numframes > 256)
    protocol.cautions.push_back("shows at most 256 of its " + std::to_string(h.numframes) +
                                " frames");
  verdicts.push_back(protocol);

  return verdicts;
}

}  // namespace vandrell
