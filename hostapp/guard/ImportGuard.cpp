#include "hostapp/guard/ImportGuard.h"

#include <exception>
#include <new>

namespace hostapp {

namespace {

// The child's report: one letter, then the reason of a failure.
constexpr char kPassed = 'P';
constexpr char kFailed = 'F';
constexpr char kOutOfMemory = 'M';

bool NamesBadAlloc(const std::string& reason) {
  return reason.find("bad_alloc") != std::string::npos;
}

}  // namespace

std::string RunAndReport(const std::function<bool(std::string*)>& work) {
  try {
    std::string error;
    if (work(&error)) return std::string(1, kPassed);
    return std::string(1, NamesBadAlloc(error) ? kOutOfMemory : kFailed) + error;
  } catch (const std::bad_alloc&) {
    return std::string(1, kOutOfMemory);
  } catch (const std::exception& e) {
    return std::string(1, kFailed) + e.what();
  } catch (...) {
    return std::string(1, kFailed) + "an unknown exception ended the import";
  }
}

GuardReport ReadReport(const std::string& report) {
  if (report.empty()) return {GuardOutcome::kCrashed, "no report"};
  switch (report[0]) {
    case kPassed:
      return {GuardOutcome::kPassed, ""};
    case kOutOfMemory:
      return {GuardOutcome::kOutOfMemory, report.substr(1)};
    default:
      return {GuardOutcome::kFailed, report.substr(1)};
  }
}

std::string GuardMessage(const std::string& scene, const ImportLimits& limits,
                         const GuardReport& report) {
  const std::string prefix = "cannot read " + scene + ": ";
  switch (report.outcome) {
    case GuardOutcome::kPassed:
      return "";
    case GuardOutcome::kFailed:
      return scene + ": " + report.detail;
    case GuardOutcome::kCrashed:
      return prefix + "the import library crashed (" + report.detail + ")";
    case GuardOutcome::kOutOfMemory:
      if (limits.memory_mib > 0)
        return prefix + "the import ran out of memory (bound " + std::to_string(limits.memory_mib) +
               " MiB, --import-memory)";
      return prefix + "the import ran out of memory";
    case GuardOutcome::kNotStarted:
      return prefix + "the import could not be started (" + report.detail + ")";
    case GuardOutcome::kOutOfTime:
      return prefix + "the import took too long (bound " + std::to_string(limits.seconds) +
             " seconds, --import-time)";
  }
  return prefix + "the import failed";
}

}  // namespace hostapp
