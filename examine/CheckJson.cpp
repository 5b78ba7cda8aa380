#include "examine/CheckJson.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "examine/JsonText.h"

namespace vandrell {

namespace {

std::string Number(float value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

std::string Vector(const float (&v)[3]) {
  return "[" + Number(v[0]) + "," + Number(v[1]) + "," + Number(v[2]) + "]";
}

std::string Field(const char* name, const std::string& value) {
  return std::string("\"") + name + "\":" + value;
}

std::string Header(const MdlFileHeader& h) {
  std::string ident;
  for (uint8_t c : h.ident) ident += static_cast<char>(c);
  return "{" + Field("ident", JsonString(ident)) + "," +
         Field("version", std::to_string(h.version)) + "," + Field("scale", Vector(h.scale)) + "," +
         Field("scale_origin", Vector(h.scale_origin)) + "," +
         Field("bounding_radius", Number(h.bounding_radius)) + "," +
         Field("eye_position", Vector(h.eye_position)) + "," +
         Field("numskins", std::to_string(h.numskins)) + "," +
         Field("skinwidth", std::to_string(h.skinwidth)) + "," +
         Field("skinheight", std::to_string(h.skinheight)) + "," +
         Field("numverts", std::to_string(h.numverts)) + "," +
         Field("numtris", std::to_string(h.numtris)) + "," +
         Field("numframes", std::to_string(h.numframes)) + "," +
         Field("synctype", std::to_string(h.synctype)) + "," +
         Field("flags", std::to_string(h.flags)) + "," + Field("size", Number(h.size)) + "}";
}

}  // namespace

std::string CheckReportJson(const std::string& path, const MdlCheckReport& report) {
  std::string json = "{" + Field("file", JsonString(path)) + "," +
                     Field("ok", report.HasErrors() ? "false" : "true") + "," +
                     Field("file_bytes", std::to_string(report.file_bytes)) + "," +
                     Field("expected_bytes", std::to_string(report.expected_bytes)) + ",";
  if (report.header_read) json += Field("header", Header(report.header)) + ",";
  json +=
      Field("counts", "{" + Field("skin_images", std::to_string(report.skin_images)) + "," +
                          Field("frames", std::to_string(report.frame_poses)) + "," +
                          Field("layout_complete", report.layout_walked ? "true" : "false") + "}") +
      ",";

  std::string engines;
  for (const EngineVerdict& verdict : report.engines) {
    std::string problems;
    for (const std::string& problem : verdict.problems)
      problems += (problems.empty() ? "" : ",") + JsonString(problem);
    std::string cautions;
    for (const std::string& caution : verdict.cautions)
      cautions += (cautions.empty() ? "" : ",") + JsonString(caution);
    engines += std::string(engines.empty() ? "" : ",") + "{" +
               Field("engine", JsonString(verdict.engine)) + "," +
               Field("loads", verdict.problems.empty() ? "true" : "false") + "," +
               Field("problems", "[" + problems + "]") + "," +
               Field("cautions", "[" + cautions + "]") + "}";
  }
  json += Field("engines", "[" + engines + "]") + ",";

  std::string findings;
  for (const MdlFinding& finding : report.findings) {
    findings += std::string(findings.empty() ? "" : ",") + "{" +
                Field("severity", JsonString(SeverityName(finding.severity))) + "," +
                Field("what", JsonString(finding.what));
    if (!finding.engine.empty()) findings += "," + Field("engine", JsonString(finding.engine));
    findings += "}";
  }
  return json + Field("findings", "[" + findings + "]") + "}";
}

}  // namespace vandrell
