#include <gtest/gtest.h>

#include <list>
#include <random>
#include <string>

#include "slf/archive.h"
#include "support/fake_platform.h"
#include "support/slf_writer.h"

namespace {

struct MatchCase {
  std::string pattern;
  std::string name;
  bool matches;
};

TEST(WildcardMatch, FollowsThePatternLanguage) {
  const MatchCase cases[] = {
      {"", "", true},
      {"", "a", false},
      {"*", "", true},
      {"***", "x", true},
      {"?", "", false},
      {"?", "a", true},
      {"??", "a", false},
      {"a*", "a", true},
      {"a*a", "a", false},
      {"*a", "ab", false},
      {"*?", "", false},
      {"*?", "abc", true},
      {"?*?", "a", false},
      {"*.*", "abc", false},
      {"*.*", ".", true},
      {"*.", "abc.", true},
      {"49\\*", "49\\", true},
      {"49\\*", "49\\sub\\x.sti", true},
      {"49\\*", "49abc", false},
      {"*\\*", "speck.sti", false},
      {"*speck*", "face33\\speck.sti", true},
      {"*.STI", "faces\\speck.sti", true},
      {"gun01.sti", "GUN01.STI", true},
      {"gun01.sti", "gun01.sti.bak", false},
      {"a*b*d", "aXbYd", true},
      {"a*b*d", "aXbYdZ", false},
      {"a*?b", "ab", false},
      {"*a*a*a*", "aa", false},
      {"*a*a*a*", "aaa", true},
      {"[", "{", false},
      {"^", "~", false},
      {"\xC9", "\xE9", false},
      {"a\xC9", "A\xC9", true},
      {"?", "\xE9", true},
      {"?", "\\", true},
      {"?", "*", true},
      {"\\*", "*", false},
      {"\\*", "\\x", true},
      {"*ab", "aab", true},        // the star must give back what it took
      {"a*bc*d", "abcbcxd", true},
  };
  for (const MatchCase& c : cases) {
    EXPECT_EQ(slf::wildcardMatch(c.pattern.c_str(), c.name.c_str()), c.matches)
        << "pattern '" << c.pattern << "' name '" << c.name << "'";
  }
}

// The plain definition: the name can be cut into pieces, one per pattern
// element, '*' taking any run, '?' one byte, any other byte one equal byte.
bool referenceMatch(const std::string& pattern, std::size_t p, const std::string& name, std::size_t n) {
  if (p == pattern.size()) return n == name.size();
  if (pattern[p] == '*') {
    for (std::size_t take = n; take <= name.size(); ++take) {
      if (referenceMatch(pattern, p + 1, name, take)) return true;
    }
    return false;
  }
  if (n == name.size()) return false;
  const auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  if (pattern[p] != '?' && fold(pattern[p]) != fold(name[n])) return false;
  return referenceMatch(pattern, p + 1, name, n + 1);
}

TEST(WildcardMatch, AgreesWithThePlainDefinitionOnRandomInputs) {
  std::mt19937 random(20011110);
  const std::string patternBytes = "ab*?A\\";
  const std::string nameBytes = "abAB\\*?";
  for (int round = 0; round < 20000; ++round) {
    std::string pattern;
    std::string name;
    const auto patternLength = random() % 8;
    const auto nameLength = random() % 10;
    for (unsigned i = 0; i < patternLength; ++i) pattern += patternBytes[random() % patternBytes.size()];
    for (unsigned i = 0; i < nameLength; ++i) name += nameBytes[random() % nameBytes.size()];
    ASSERT_EQ(slf::wildcardMatch(pattern, name), referenceMatch(pattern, 0, name, 0))
        << "pattern '" << pattern << "' name '" << name << "'";
  }
}

TEST(WildcardMatch, ManyStarRunsOnLongNamesStayFast) {
  // Backtracking over every star would need minutes here.
  const std::string name(255, 'a');
  for (int i = 0; i < 1000; ++i) {
    ASSERT_FALSE(slf::wildcardMatch("*a*a*a*a*a*a*b", name.c_str()));
  }
  EXPECT_TRUE(slf::wildcardMatch("*a*a*a*a*a*a*", name.c_str()));
}

TEST(Find, AppendsCopiesInStoredOrderWithoutTouchingEarlierElements) {
  slftest::FakeFileSystem fileSystem;
  slftest::Member trailing;
  trailing.name = std::string("Dup.sti\0junk", 12);
  trailing.data = "3";
  fileSystem.addFile("a.slf", slftest::SlfWriter()
                                  .add("dup.sti", "1")
                                  .add("other\\x.dat", "22")
                                  .add("DUP.STI", "333")
                                  .add("", "")
                                  .add(trailing)
                                  .build());
  slf::SLFArchive archive("a.slf", 0, "", fileSystem);

  std::list<slf::SLFEntry> matches;
  archive.find("nothing", matches);
  EXPECT_TRUE(matches.empty());

  archive.find("dup.sti", matches);
  archive.find("*", matches);
  std::vector<std::string> names;
  for (const slf::SLFEntry& entry : matches) names.emplace_back(slf::fieldText(entry.name));
  EXPECT_EQ(names, (std::vector<std::string>{"dup.sti", "DUP.STI", "Dup.sti", "dup.sti", "other\\x.dat",
                                             "DUP.STI", "", "Dup.sti"}));
  // The copy carries the bytes after the terminator unchanged.
  EXPECT_EQ(std::string(matches.back().name, 12), std::string("Dup.sti\0junk", 12));
  EXPECT_EQ(matches.back().length, 1);
}

}  // namespace
