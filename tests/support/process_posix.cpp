#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
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

}  // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options) {
  int outPipe[2];
  int errPipe[2] = {-1, -1};
  if (::pipe(outPipe) != 0) throw std::runtime_error("pipe failed");
  const bool separate = options.streams == StreamMode::Separate;
  if (separate && ::pipe(errPipe) != 0) throw std::runtime_error("pipe failed");

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    ::setsid();  // no controlling terminal
    const std::string input = options.standardInputFile.empty() ? "/dev/null" : options.standardInputFile;
    const int inFd = ::open(input.c_str(), O_RDONLY);
    if (inFd < 0) ::_exit(126);
    ::dup2(inFd, 0);
    ::dup2(outPipe[1], 1);
    ::dup2(separate ? errPipe[1] : outPipe[1], 2);
    if (options.fileSizeLimit >= 0) {
      const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit), static_cast<rlim_t>(options.fileSizeLimit)};
      ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
    }
    if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0) ::_exit(126);
    for (const auto& variable : options.environment) ::setenv(variable.first.c_str(), variable.second.c_str(), 1);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(outPipe[1]);
  if (separate) ::close(errPipe[1]);

  ProcessResult result;
  drain(outPipe[0], errPipe[0], result.out, result.err);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace slftest
