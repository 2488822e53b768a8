// The overwrite question answered on a real pseudo-terminal: the tool must
// read the terminal itself, one key at a time, and restore its mode.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/slf_writer.h"
#include "support/temp_dir.h"

namespace {

using slftest::readFile;

const char kQuestion[] = " Overwrite? (y/n) ";

// The tool running with a pseudo-terminal as its controlling terminal and
// its standard output and error.
class TerminalSession {
 public:
  TerminalSession(const std::vector<std::string>& arguments, const std::string& standardInput,
                  long long fileSizeLimit = -1) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    const std::string slaveName = ::ptsname(master_);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(ARCDIG_BINARY));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    child_ = ::fork();
    if (child_ == 0) {
      ::setsid();
      if (fileSizeLimit >= 0) {
        const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      const int slave = ::open(slaveName.c_str(), O_RDWR);
      if (slave < 0 || ::ioctl(slave, TIOCSCTTY, 0) != 0) ::_exit(126);
      const int input = standardInput.empty() ? slave : ::open(standardInput.c_str(), O_RDONLY);
      ::dup2(input, 0);
      ::dup2(slave, 1);
      ::dup2(slave, 2);
      ::execv(ARCDIG_BINARY, argv.data());
      ::_exit(127);
    }
  }
  ~TerminalSession() {
    if (child_ > 0) finish();
    if (master_ >= 0) ::close(master_);
  }

  bool started() const { return master_ >= 0 && child_ > 0; }

  // Waits until `text` has appeared `occurrence` times and the tool has put
  // the terminal into its key-reading mode.
  bool waitForQuestion(int occurrence) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      pump(20);
      if (count(kQuestion) >= occurrence && readingKeys()) return true;
    }
    return false;
  }

  void type(const std::string& keys) { ASSERT_EQ(::write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size())); }

  termios mode() const {
    termios current{};
    ::tcgetattr(master_, &current);
    return current;
  }

  // Collects the rest of the output and the exit status.
  int finish() {
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (::waitpid(child_, &status, WNOHANG) == 0) {
      pump(20);
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(child_, SIGKILL);
        ::waitpid(child_, &status, 0);
        break;
      }
    }
    pump(50);
    child_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Output with the terminal's "\r\n" line ends turned back into "\n".
  std::string output() const {
    std::string text;
    for (const char c : output_) {
      if (c != '\r') text += c;
    }
    return text;
  }

 private:
  void pump(int timeoutMs) {
    pollfd request{master_, POLLIN, 0};
    while (::poll(&request, 1, timeoutMs) > 0) {
      char buffer[4096];
      const ssize_t got = ::read(master_, buffer, sizeof buffer);
      if (got <= 0) return;
      output_.append(buffer, static_cast<std::size_t>(got));
      timeoutMs = 0;
    }
  }
  int count(const std::string& text) const {
    int found = 0;
    for (std::size_t at = output_.find(text); at != std::string::npos; at = output_.find(text, at + 1)) ++found;
    return found;
  }
  bool readingKeys() const { return (mode().c_lflag & ICANON) == 0; }

  int master_ = -1;
  pid_t child_ = -1;
  std::string output_;
};

class TerminalQuestionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    slftest::SlfWriter().add("one.dat", "NEW1").add("two.dat", "NEW2").writeTo(dir / "a.slf");
    std::filesystem::create_directory(dir / "out");
    slftest::writeFile(dir / "out/one.dat", "OLD1");
    slftest::writeFile(dir / "out/two.dat", "OLD2");
  }
  std::vector<std::string> extractAll() const { return {dir / "a.slf", "*", "-d", dir / "out"}; }
  std::string line(const std::string& name, const std::string& answer) const {
    return name + " already exists." + kQuestion + answer + "\n";
  }
  slftest::TempDir dir;
};

TEST_F(TerminalQuestionTest, SingleKeysAnswerWithoutEnter) {
  struct Case {
    std::string key;
    std::string answer;
  };
  const std::vector<Case> cases = {{"y", "yes"}, {"Y", "yes"}, {"n", "no"},  {"N", "no"},  {"\r", "no"},
                                   {"\x1b", "no"}, {" ", "no"},  {"\x03", "no"}, {"q", "no"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.key[0]));
    slftest::writeFile(dir / "out/one.dat", "OLD1");
    TerminalSession session({dir / "a.slf", "one.dat", "-d", dir / "out"}, "");
    ASSERT_TRUE(session.started());
    const termios before = session.mode();
    ASSERT_TRUE(session.waitForQuestion(1));
    session.type(c.key);
    EXPECT_EQ(session.finish(), 0);
    EXPECT_EQ(session.output(), line("one.dat", c.answer));
    EXPECT_EQ(readFile(dir / "out/one.dat"), c.answer == "yes" ? "NEW1" : "OLD1");
    const termios after = session.mode();
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(std::memcmp(after.c_cc, before.c_cc, sizeof before.c_cc), 0);
  }
}

TEST_F(TerminalQuestionTest, CursorKeyAnswersNoAndDoesNotReachTheNextQuestion) {
  TerminalSession session(extractAll(), "");
  ASSERT_TRUE(session.started());
  ASSERT_TRUE(session.waitForQuestion(1));
  session.type("\x1b[A");
  ASSERT_TRUE(session.waitForQuestion(2));
  session.type("y");
  EXPECT_EQ(session.finish(), 0);
  EXPECT_EQ(session.output(), line("one.dat", "no") + line("two.dat", "yes"));
  EXPECT_EQ(readFile(dir / "out/one.dat"), "OLD1");
  EXPECT_EQ(readFile(dir / "out/two.dat"), "NEW2");
}

TEST_F(TerminalQuestionTest, YesFollowedByAFailedReplacementKeepsTheOldFile) {
  slftest::SlfWriter().add("one.dat", std::string(64 * 1024, 'n')).writeTo(dir / "big.slf");
  TerminalSession session({dir / "big.slf", "*", "-d", dir / "out"}, "", 16 * 1024);
  ASSERT_TRUE(session.started());
  ASSERT_TRUE(session.waitForQuestion(1));
  session.type("y");
  EXPECT_EQ(session.finish(), 1);
  EXPECT_EQ(session.output(), "one.dat already exists." + std::string(kQuestion) + "yesarcdig: Error writing file '" +
                                  (dir / "out") + "\\one.dat'\n");
  EXPECT_EQ(readFile(dir / "out/one.dat"), "OLD1");
  EXPECT_EQ(slftest::listTree(dir / "out"), "one.dat\ntwo.dat\n");
}

TEST_F(TerminalQuestionTest, RedirectedStandardInputDoesNotAnswer) {
  slftest::writeFile(dir / "keys.txt", "yyyy\n");
  TerminalSession session(extractAll(), dir / "keys.txt");
  ASSERT_TRUE(session.started());
  ASSERT_TRUE(session.waitForQuestion(1));
  session.type("n");
  ASSERT_TRUE(session.waitForQuestion(2));
  session.type("n");
  EXPECT_EQ(session.finish(), 0);
  EXPECT_EQ(session.output(), line("one.dat", "no") + line("two.dat", "no"));
}

TEST_F(TerminalQuestionTest, ControlBytesInNamesAreShownAsQuestionMarks) {
  slftest::SlfWriter().add("evil\x1b]2;pwned\x07.dat", "x").writeTo(dir / "evil.slf");
  TerminalSession session({"-l", dir / "evil.slf", "*"}, "");
  ASSERT_TRUE(session.started());
  EXPECT_EQ(session.finish(), 0);
  EXPECT_EQ(session.output(), "evil?]2;pwned?.dat   1 bytes\n");
}

}  // namespace
