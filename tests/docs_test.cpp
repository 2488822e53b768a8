// The documents that ship with arcdig agree with the program: readme.txt
// (CR LF line ends, for Notepad, and the usage text of arcdig -h), and the
// examples of the manual page and the README, which are the usage text's.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/temp_dir.h"

namespace {

using slftest::runTool;

const std::string kSourceDir = ARCDIG_SOURCE_DIR;

using Words = std::vector<std::string>;

// A command line split as a POSIX shell splits it: blanks separate words,
// single quotes keep everything, double quotes and backslashes as usual.
Words shellWords(const std::string& line) {
  Words words;
  std::string word;
  bool inWord = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == ' ' || c == '\t') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
      continue;
    }
    inWord = true;
    if (c == '\'') {
      const std::size_t end = line.find('\'', i + 1);
      if (end == std::string::npos) return {"<unterminated quote>"};
      word += line.substr(i + 1, end - i - 1);
      i = end;
    } else if (c == '"') {
      for (++i; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size() && std::string("\"\\$`").find(line[i + 1]) != std::string::npos) ++i;
        word += line[i];
      }
      if (i == line.size()) return {"<unterminated quote>"};
    } else if (c == '\\' && i + 1 < line.size()) {
      word += line[++i];
    } else {
      word += c;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

std::vector<std::string> lines(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> result;
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

std::string usageText() { return runTool({"-h"}).out; }

TEST(Documents, ReadmeTxtHasCrLfLineEndsAndTheUsageText) {
  const std::string readme = slftest::readFile(kSourceDir + "/readme.txt");
  ASSERT_FALSE(readme.empty());
  std::size_t lineNumber = 1;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < readme.size(); ++i) {
    const auto byte = static_cast<unsigned char>(readme[i]);
    if (byte == '\n') {
      EXPECT_TRUE(i > 0 && readme[i - 1] == '\r') << "line " << lineNumber << " ends with a bare line feed";
      EXPECT_LE(i - lineStart - 1, 78u) << "line " << lineNumber << " is longer than 78 characters";
      ++lineNumber;
      lineStart = i + 1;
    } else if (byte == '\r') {
      EXPECT_TRUE(i + 1 < readme.size() && readme[i + 1] == '\n') << "line " << lineNumber << ": a lone CR";
    } else {
      // Plain ASCII reads the same in every Windows code page.
      EXPECT_TRUE(byte >= 0x20 && byte < 0x7F) << "line " << lineNumber << ": byte " << unsigned(byte);
    }
  }
  EXPECT_EQ(readme.substr(readme.size() - 2), "\r\n");

  // The usage text from its "Usage:" line on, as arcdig -h prints it.
  const std::string usage = usageText();
  std::string usageCrLf;
  for (char c : usage.substr(usage.find("Usage:"))) {
    if (c == '\n') usageCrLf += '\r';
    usageCrLf += c;
  }
  EXPECT_NE(readme.find(usageCrLf), std::string::npos) << "readme.txt lacks the usage text of arcdig -h";
  // Where to report problems: the address the usage text names.
  const std::size_t at = usage.find("Bug reports to ") + 15;
  const std::string address = usage.substr(at, usage.find(';', at) - at);
  EXPECT_NE(readme.find(address), std::string::npos) << address;
}

TEST(Documents, ManualPageRendersTheUsageTextExamples) {
  const std::string groff = ARCDIG_GROFF;
  if (groff.empty()) GTEST_SKIP() << "groff is not installed (scripts/test installs groff-base)";
  // -P-cbou: plain characters, no overstriking or escape sequences.
  const slftest::ProcessResult page =
      slftest::runProcess(groff, {"-man", "-Tutf8", "-P-cbou", kSourceDir + "/docs/arcdig.1"});
  ASSERT_EQ(page.exitStatus, 0) << page.err;

  std::vector<Words> examples;
  bool inExamples = false;
  for (const std::string& line : lines(page.out)) {
    if (!line.empty() && line[0] != ' ') inExamples = line == "EXAMPLES";
    const std::size_t text = line.find_first_not_of(' ');
    if (inExamples && text != std::string::npos && line.compare(text, 7, "arcdig ") == 0) {
      examples.push_back(shellWords(line.substr(text)));
    }
  }
  EXPECT_EQ(examples, slftest::usageExamples()) << page.out;
}

TEST(Documents, ReadmeExamplesAreTheUsageTextExamples) {
  std::vector<Words> examples;
  bool inShell = false;
  for (const std::string& line : lines(slftest::readFile(kSourceDir + "/README.md"))) {
    if (line.rfind("```", 0) == 0) {
      inShell = line == "```sh";
      continue;
    }
    if (inShell && line.rfind("arcdig ", 0) == 0) examples.push_back(shellWords(line.substr(0, line.find(" #"))));
  }
  EXPECT_EQ(examples, slftest::usageExamples());
}

}  // namespace
