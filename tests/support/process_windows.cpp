#include <windows.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "support/process.h"

namespace slftest {
namespace {

class Handle {
 public:
  explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~Handle() { reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  HANDLE get() const { return handle_; }
  HANDLE* out() {
    reset();
    return &handle_;
  }
  void reset() {
    if (handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr) ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

// One argument as the C runtime's command-line parser will split it back
// out: quoted when needed, with backslashes doubled only before a quote.
std::string quoteArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      quoted.append(backslashes * 2 + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  quoted += '"';
  return quoted;
}

// A path of the build machine as a Windows path: under wine the tool's own
// path may arrive as a Unix path, which wine shows on drive Z:.
std::string windowsPath(const std::string& path) {
  std::string converted = (!path.empty() && path[0] == '/') ? "Z:" + path : path;
  for (char& c : converted) {
    if (c == '/') c = '\\';
  }
  return converted;
}

void createPipe(Handle& readEnd, Handle& writeEnd) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  if (::CreatePipe(readEnd.out(), writeEnd.out(), &inheritable, 0) == FALSE) {
    throw std::runtime_error("CreatePipe failed");
  }
  // Only the child's end is inherited.
  ::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
}

void drain(HANDLE pipe, std::string& sink) {
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) != FALSE && got > 0) {
    sink.append(buffer, got);
  }
}

}  // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options) {
  const std::string executable = windowsPath(program);
  std::string commandLine = quoteArgument(executable);
  for (const std::string& argument : arguments) commandLine += " " + quoteArgument(argument);

  const bool separate = options.streams == StreamMode::Separate;
  Handle outRead, outWrite, errRead, errWrite;
  createPipe(outRead, outWrite);
  if (separate) createPipe(errRead, errWrite);

  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const std::string input = options.standardInputFile.empty() ? "NUL" : windowsPath(options.standardInputFile);
  Handle inputFile(::CreateFileA(input.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inheritable, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (inputFile.get() == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + input);
  Handle outputFile;
  if (!options.standardOutputFile.empty()) {
    const std::string output = windowsPath(options.standardOutputFile);
    *outputFile.out() = ::CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (outputFile.get() == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + output);
  }

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inputFile.get();
  startup.hStdOutput = options.standardOutputFile.empty() ? outWrite.get() : outputFile.get();
  startup.hStdError = separate ? errWrite.get() : outWrite.get();

  // DETACHED_PROCESS: the child has no console, so the tool's questions
  // find none to read.
  // The child inherits the environment as it is when it starts; the
  // variables are set for that moment and restored right after.
  std::vector<std::pair<std::string, std::string>> saved;
  for (const auto& variable : options.environment) {
    char old[32768];
    const DWORD length = ::GetEnvironmentVariableA(variable.first.c_str(), old, sizeof old);
    saved.emplace_back(variable.first, length > 0 && length < sizeof old ? std::string(old, length) : std::string());
    ::SetEnvironmentVariableA(variable.first.c_str(), variable.second.c_str());
  }
  struct Restore {
    const std::vector<std::pair<std::string, std::string>>& saved;
    ~Restore() {
      for (const auto& variable : saved) {
        ::SetEnvironmentVariableA(variable.first.c_str(), variable.second.empty() ? nullptr : variable.second.c_str());
      }
    }
  } restore{saved};
  PROCESS_INFORMATION child{};
  const std::string workingDirectory = windowsPath(options.workingDirectory);
  const char* directory = workingDirectory.empty() ? nullptr : workingDirectory.c_str();
  // Under wine a start now and then fails for a moment while other programs
  // come and go; a few more tries tell that from a program that cannot run.
  bool started = false;
  DWORD error = 0;
  for (int attempt = 0; attempt < 5 && !started; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    started = ::CreateProcessA(executable.c_str(), commandLine.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS,
                               nullptr, directory, &startup, &child) != FALSE;
    if (!started) error = ::GetLastError();
  }
  if (!started) {
    throw std::runtime_error("cannot start " + executable + " (error " + std::to_string(error) + ")");
  }
  Handle process(child.hProcess);
  Handle thread(child.hThread);
  // The child holds its own copies now; closing ours lets the pipes end.
  outWrite.reset();
  errWrite.reset();
  inputFile.reset();
  outputFile.reset();

  ProcessResult result;
  std::thread errReader;
  if (separate) errReader = std::thread([&] { drain(errRead.get(), result.err); });
  drain(outRead.get(), result.out);
  if (errReader.joinable()) errReader.join();

  ::WaitForSingleObject(process.get(), INFINITE);
  DWORD exitCode = 0;
  if (::GetExitCodeProcess(process.get(), &exitCode) == FALSE) return result;
  // Codes from 0xC0000000 up are exceptions (a crash), not an exit status.
  result.exitStatus = exitCode >= 0xC0000000u ? -1 : static_cast<int>(exitCode);
  return result;
}

std::string consoleText(const std::string& text) {
  std::string crlf;
  crlf.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  return crlf;
}

}  // namespace slftest
