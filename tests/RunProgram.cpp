#include "RunProgram.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TestSupport.h"

namespace testing_support {

namespace {

std::string ReadText(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// In the child: the streams, the directory, the limits and the user; then the
// program. Never returns.
[[noreturn]] void StartProgram(const std::string& path, const std::vector<std::string>& args,
                               const RunOptions& options, const std::string& out_path,
                               const std::string& err_path, const std::string& terminal_name) {
  const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int err = options.terminal_stderr
                      ? open(terminal_name.c_str(), O_RDWR | O_NOCTTY)
                      : open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int in = open("/dev/null", O_RDONLY);
  if (out < 0 || err < 0 || in < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || dup2(in, 0) < 0)
    _exit(126);
  if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) _exit(126);
  if (options.file_size_limit) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit = {options.file_size_limit, options.file_size_limit};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  if (options.unprivileged && geteuid() == 0) {
    constexpr uid_t kNobody = 65534;
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(125);
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execv(path.c_str(), argv.data());
  _exit(127);
}

}  // namespace

ProgramRun RunProgram(const std::string& path, const std::vector<std::string>& args,
                      const RunOptions& options) {
  TempDir capture;
  const std::string out_path = capture.File("stdout");
  const std::string err_path = capture.File("stderr");
  ProgramRun run;
  int master = -1;
  std::string terminal_name;
  if (options.terminal_stderr) {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return run;
    terminal_name = ptsname(master);
  }
  const pid_t child = fork();
  if (child == 0) StartProgram(path, args, options, out_path, err_path, terminal_name);
  if (child < 0) return run;
  if (master >= 0) {
    // Read until the child's side is closed (EIO once every slave is gone).
    char buffer[4096];
    for (;;) {
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n <= 0) break;
      run.err.append(buffer, static_cast<size_t>(n));
    }
    close(master);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child) return run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = ReadText(out_path);
  if (master < 0) run.err = ReadText(err_path);
  return run;
}

}  // namespace testing_support
