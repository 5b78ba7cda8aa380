#pragma once
// Runs a scene import where its faults cannot take the converter down: first
// in a child process under a memory and a time bound, which only reports how
// the import went. The import library is deterministic, so once the child has
// read the file the caller reads it again in its own process; a crash, a
// runaway allocation or an endless loop inside the library ends only the
// child.
//
// The child is a fork on Linux (ImportGuardFork.cpp). Windows has no fork: the
// child is the program started again with the same command line, in a job
// that ends it with its parent (ImportGuardWindows.cpp). It must reach
// RunGuarded the same way, doing nothing on the way that the parent would
// see, and runs work there instead of starting a child of its own.

#include <functional>
#include <string>

namespace hostapp {

struct ImportLimits {
  // Resident memory the import may use, in MiB; 0 for no bound.
  long memory_mib = 4096;
  // Wall-clock time the import may take, in seconds; 0 for no bound.
  long seconds = 120;
};

enum class GuardOutcome {
  kPassed,       // the work returned true
  kFailed,       // the work returned false; detail holds its reason
  kCrashed,      // the child died without reporting (a signal, a sanitizer); detail names it
  kOutOfMemory,  // over the memory bound, or the work ran out of memory
  kOutOfTime,    // over the time bound
  kNotStarted,   // no child could be started (no process or pipe left); detail says why
};

struct GuardReport {
  GuardOutcome outcome = GuardOutcome::kCrashed;
  std::string detail;
};

// Runs work in a child process under limits and reports what became of it.
// work returns true, or false with a reason in *error; a std::bad_alloc
// leaving it, or a reason naming bad_alloc (the import library turns the
// exception into a message), counts as out of memory. The child's effects
// on the process (its memory, its globals) are lost with it. Starts no
// thread; the caller's standard streams are shared with the child. The
// memory bound is on resident memory on Linux, and on Windows on the larger
// of committed and resident memory.
GuardReport RunGuarded(const ImportLimits& limits, const std::function<bool(std::string*)>& work);

// The message for a report that is not kPassed, naming the file:
// "cannot read SCENE: the import crashed (signal 11, Segmentation fault)".
std::string GuardMessage(const std::string& scene, const ImportLimits& limits,
                         const GuardReport& report);

// For the two process implementations: runs work in the child and encodes
// how it went (exceptions included) as the report the parent reads back.
std::string RunAndReport(const std::function<bool(std::string*)>& work);
GuardReport ReadReport(const std::string& report);

}  // namespace hostapp
