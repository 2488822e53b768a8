// Shared helpers for the end-to-end tests, which run the built tool.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "support/process.h"

namespace slftest {

inline ProcessResult runTool(const std::vector<std::string>& arguments, const ProcessOptions& options = {}) {
  return runProcess(ARCDIG_BINARY, arguments, options);
}

// A command line split at blanks, as the Windows console hands the usage
// text's examples to the program (they hold no quotes).
inline std::vector<std::string> blankSeparatedWords(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// The example commands of the usage text (arcdig -h), each as its words,
// "arcdig" first.
inline std::vector<std::vector<std::string>> usageExamples() {
  std::istringstream usage(runTool({"-h"}).out);
  std::vector<std::vector<std::string>> examples;
  bool inExamples = false;
  for (std::string line; std::getline(usage, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "Examples:") inExamples = true;
    if (inExamples && line.rfind("  arcdig ", 0) == 0) examples.push_back(blankSeparatedWords(line));
  }
  return examples;
}

inline ProcessResult runPacker(const std::vector<std::string>& arguments, const ProcessOptions& options = {}) {
  return runProcess(ARCPACK_BINARY, arguments, options);
}

}  // namespace slftest
