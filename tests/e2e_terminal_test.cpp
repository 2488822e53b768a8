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

#include "support/process.h"
#include "support/slf_writer.h"
#include "support/temp_dir.h"

namespace {

using slftest::readFile;

const char kQuestion[] = " Overwrite? (y/n) ";

// The tool running with a pseudo-terminal as its controlling terminal and
// its standard output and error.
struct SessionOptions {
  std::string standardInput;             // empty: the terminal
  long long fileSizeLimit = -1;          // RLIMIT_FSIZE, when not negative
  std::vector<std::pair<std::string, std::string>> environment;  // set for the tool (name, value)
};

class TerminalSession {
 public:
  explicit TerminalSession(const std::vector<std::string>& arguments, const SessionOptions& options = {}) {
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
      for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXFSZ}) ::signal(signal, SIG_DFL);
      const rlimit noCore{0, 0};
      ::setrlimit(RLIMIT_CORE, &noCore);
      if (options.fileSizeLimit >= 0) {
        const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit), static_cast<rlim_t>(options.fileSizeLimit)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      for (const auto& variable : options.environment) ::setenv(variable.first.c_str(), variable.second.c_str(), 1);
      const int slave = ::open(slaveName.c_str(), O_RDWR);
      if (slave < 0 || ::ioctl(slave, TIOCSCTTY, 0) != 0) ::_exit(126);
      const int input = options.standardInput.empty() ? slave : ::open(options.standardInput.c_str(), O_RDONLY);
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
    signal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The signal that ended the tool, or 0; valid after finish().
  int endedBySignal() const { return signal_; }
  pid_t pid() const { return child_; }
  int questionsAsked() const { return count(kQuestion); }

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
  int signal_ = 0;
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
                                   {"\x1b", "no"}, {" ", "no"},  {"\x03", "no"}, {"\x1a", "no"}, {"q", "no"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.key[0]));
    slftest::writeFile(dir / "out/one.dat", "OLD1");
    TerminalSession session({dir / "a.slf", "one.dat", "-d", dir / "out"});
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
  TerminalSession session(extractAll());
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
  SessionOptions limited;
  limited.fileSizeLimit = 16 * 1024;
  TerminalSession session({dir / "big.slf", "*", "-d", dir / "out"}, limited);
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
  SessionOptions redirected;
  redirected.standardInput = dir / "keys.txt";
  TerminalSession session(extractAll(), redirected);
  ASSERT_TRUE(session.started());
  ASSERT_TRUE(session.waitForQuestion(1));
  session.type("n");
  ASSERT_TRUE(session.waitForQuestion(2));
  session.type("n");
  EXPECT_EQ(session.finish(), 0);
  EXPECT_EQ(session.output(), line("one.dat", "no") + line("two.dat", "no"));
}

// A locale for the tool's terminal: one that the system has, or one made
// from the system's locale sources into the test's own folder.
class LocaleFor {
 public:
  LocaleFor(const std::string& name, const std::string& sourceLocale, const std::string& charmap,
            const std::string& folder) {
    if (name == "C.UTF-8") {
      environment_ = {{"LC_ALL", "C.UTF-8"}};
      return;
    }
    const std::string command = "localedef --no-warnings=ascii -i " + sourceLocale + " -f " + charmap + " " +
                                folder + "/" + name + " >/dev/null 2>&1";
    if (std::system(command.c_str()) < 0 || !slftest::pathExists(folder + "/" + name)) return;
    environment_ = {{"LOCPATH", folder}, {"LC_ALL", name}};
  }
  bool available() const { return !environment_.empty(); }
  const std::vector<std::pair<std::string, std::string>>& environment() const { return environment_; }

 private:
  std::vector<std::pair<std::string, std::string>> environment_;
};

TEST_F(TerminalQuestionTest, OneKeyPressAnswersOneQuestion) {
  struct Case {
    const char* what;
    std::string locale;    // "C.UTF-8" or a Shift_JIS locale made for the test
    std::string first;     // typed at the first question
    std::string second;    // typed at the second
    std::string answers;   // the two answers
  };
  const std::vector<Case> cases = {
      {"Ctrl+C, then y", "C.UTF-8", "\x03", "y", "no yes"},
      {"Ctrl+Z, then y", "C.UTF-8", "\x1a", "y", "no yes"},
      {"e with acute accent in UTF-8, then y", "C.UTF-8", "\xC3\xA9", "y", "no yes"},
      // The second byte of this Shift_JIS letter is 'y': it must not answer.
      {"fullwidth Z in Shift_JIS, then n", "ja_JP.SJIS", "\x82\x79", "n", "no no"},
      {"a byte that is no UTF-8 character, then y", "C.UTF-8", "\xFF", "y", "no yes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const LocaleFor locale(c.locale, "ja_JP", "SHIFT_JIS", dir.path());
    if (!locale.available()) {
      ADD_FAILURE() << "locale " << c.locale << " cannot be made (localedef and the locales package are needed)";
      continue;
    }
    slftest::writeFile(dir / "out/one.dat", "OLD1");
    slftest::writeFile(dir / "out/two.dat", "OLD2");
    SessionOptions options;
    options.environment = locale.environment();
    TerminalSession session(extractAll(), options);
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.waitForQuestion(1));
    session.type(c.first);
    if (!session.waitForQuestion(2)) {  // the first key press already answered both
      ADD_FAILURE() << session.output();
      continue;
    }
    session.type(c.second);
    EXPECT_EQ(session.finish(), 0);
    const bool secondIsYes = c.answers == "no yes";
    EXPECT_EQ(session.output(), line("one.dat", "no") + line("two.dat", secondIsYes ? "yes" : "no"));
    EXPECT_EQ(readFile(dir / "out/one.dat"), "OLD1");
    EXPECT_EQ(readFile(dir / "out/two.dat"), secondIsYes ? "NEW2" : "OLD2");
  }
}

// Killed while it waits for a key, the tool still puts the terminal back,
// ends by that signal and leaves the files as they were.
TEST_F(TerminalQuestionTest, SignalAtTheQuestionRestoresTheTerminal) {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    TerminalSession session(extractAll());
    ASSERT_TRUE(session.started());
    const termios before = session.mode();
    ASSERT_TRUE(session.waitForQuestion(1));
    ::kill(session.pid(), signal);
    session.finish();
    EXPECT_EQ(session.endedBySignal(), signal);
    const termios after = session.mode();
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(std::memcmp(after.c_cc, before.c_cc, sizeof before.c_cc), 0);
    EXPECT_EQ(slftest::listTree(dir / "out"), "one.dat\ntwo.dat\n");
    EXPECT_EQ(readFile(dir / "out/one.dat"), "OLD1");
  }
}

// The terminal's quit key (Ctrl+\) is the way out of a long run of
// questions: the run ends at once, by SIGQUIT, with the terminal restored.
TEST_F(TerminalQuestionTest, QuitKeyEndsTheRunOfQuestions) {
  slftest::SlfWriter().add("one.dat", "NEW1").add("two.dat", "NEW2").add("three.dat", "NEW3").writeTo(dir / "a.slf");
  slftest::writeFile(dir / "out/three.dat", "OLD3");
  TerminalSession session(extractAll());
  ASSERT_TRUE(session.started());
  const termios before = session.mode();
  ASSERT_TRUE(session.waitForQuestion(1));
  session.type("\x1c");
  EXPECT_NE(session.finish(), 0);
  EXPECT_EQ(session.endedBySignal(), SIGQUIT);
  EXPECT_EQ(session.questionsAsked(), 1);
  EXPECT_EQ(session.output().rfind("one.dat already exists." + std::string(kQuestion), 0), 0u) << session.output();
  const termios after = session.mode();
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(std::memcmp(after.c_cc, before.c_cc, sizeof before.c_cc), 0);
  EXPECT_EQ(slftest::listTree(dir / "out"), "one.dat\nthree.dat\ntwo.dat\n");
  EXPECT_EQ(readFile(dir / "out/one.dat") + readFile(dir / "out/two.dat") + readFile(dir / "out/three.dat"),
            "OLD1OLD2OLD3");
}

// Names are shown on a terminal with every control character (C0, DEL and,
// in the terminal's character set, C1) as one '?'; to a pipe, byte for byte.
TEST_F(TerminalQuestionTest, ControlCharactersInNamesAreHiddenOnlyOnATerminal) {
  const std::string names[] = {"csi\xC2\x9B" "31m.dat", "t\xC3\xBCr.sti", "evil\x1b]2;pwned\x07.dat"};
  slftest::SlfWriter archive;
  for (const std::string& name : names) archive.add(name, "x");
  archive.writeTo(dir / "names.slf");

  SessionOptions utf8;
  utf8.environment = {{"LC_ALL", "C.UTF-8"}};
  TerminalSession session({"-l", dir / "names.slf", "*"}, utf8);
  ASSERT_TRUE(session.started());
  EXPECT_EQ(session.finish(), 0);
  EXPECT_EQ(session.output(),
            "csi?31m.dat   1 bytes\n"
            "t\xC3\xBCr.sti   1 bytes\n"
            "evil?]2;pwned?.dat   1 bytes\n");

  slftest::ProcessOptions piped;
  piped.environment = utf8.environment;
  EXPECT_EQ(slftest::runProcess(ARCDIG_BINARY, {"-l", dir / "names.slf", "*"}, piped).out,
            names[0] + "   1 bytes\n" + names[1] + "   1 bytes\n" + names[2] + "   1 bytes\n");
}

}  // namespace
