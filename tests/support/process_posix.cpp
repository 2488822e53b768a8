#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <stdexcept>

#include "support/process.h"

namespace slftest {
namespace {

void drain(int outFd, int errFd, std::string& out, std::string& err) {
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* sinks[2] = {&out, &err};
  int open = errFd >= 0 ? 2 : 1;
  char buffer[65536];
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("poll failed");
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

// In the child, between fork and exec.
[[noreturn]] void becomeTool(const std::string& program, const std::vector<std::string>& arguments,
                             const ProcessOptions& options, int outFd, int errFd) {
  ::setsid();  // no controlling terminal
  const std::string input = options.standardInputFile.empty() ? "/dev/null" : options.standardInputFile;
  const int inFd = ::open(input.c_str(), O_RDONLY);
  if (inFd < 0) ::_exit(126);
  ::dup2(inFd, 0);
  const int standardOutput = options.standardOutputFile.empty()
                                ? outFd
                                : ::open(options.standardOutputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (standardOutput < 0) ::_exit(126);
  ::dup2(standardOutput, 1);
  ::dup2(errFd, 2);
  // The tool must meet every signal as a user's shell would hand it over.
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXFSZ, SIGPIPE}) ::signal(signal, SIG_DFL);
  const rlimit noCore{0, 0};
  ::setrlimit(RLIMIT_CORE, &noCore);
  if (options.fileSizeLimit >= 0) {
    const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit), static_cast<rlim_t>(options.fileSizeLimit)};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
  }
  for (const auto& variable : options.environment) ::setenv(variable.first.c_str(), variable.second.c_str(), 1);
  if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0) ::_exit(126);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  ::execv(program.c_str(), argv.data());
  ::_exit(127);
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const ProcessOptions& options) {
  int outPipe[2];
  int errPipe[2] = {-1, -1};
  if (::pipe(outPipe) != 0) throw std::runtime_error("pipe failed");
  const bool separate = options.streams == StreamMode::Separate;
  if (separate && ::pipe(errPipe) != 0) throw std::runtime_error("pipe failed");
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) becomeTool(program, arguments, options, outPipe[1], separate ? errPipe[1] : outPipe[1]);
  ::close(outPipe[1]);
  if (separate) ::close(errPipe[1]);
  outFd_ = outPipe[0];
  errFd_ = errPipe[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  wait();
}

bool ChildProcess::running() const {
  siginfo_t info{};
  return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

ProcessResult ChildProcess::wait() {
  ProcessResult result;
  drain(outFd_, errFd_, result.out, result.err);
  int status = 0;
  rusage usage{};
  while (::wait4(pid_, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result.maxResidentKiB = usage.ru_maxrss;
  return result;
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options) {
  return ChildProcess(program, arguments, options).wait();
}

std::string consoleText(const std::string& text) { return text; }

}  // namespace slftest
