#include "support/example_archives.h"

#include <algorithm>
#include <stdexcept>

#include "support/slf_writer.h"

namespace slftest {
namespace {

// Member bytes that run through every byte value (line feeds, carriage
// returns and 0x1A among them), so that a copy that is not byte-exact shows.
std::string memberData(const std::string& name, std::size_t size) {
  unsigned seed = 0;
  for (char c : name) seed = seed * 31u + static_cast<unsigned char>(c);
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((seed + i * 7u) & 0xFFu);
  return data;
}

unsigned char fold(char byte) {
  const auto value = static_cast<unsigned char>(byte);
  return value >= 'A' && value <= 'Z' ? static_cast<unsigned char>(value + ('a' - 'A')) : value;
}

// Records are kept in the order the game looks names up in: bytes compared
// with A-Z folded to a-z.
bool lookupOrder(const ExampleMember& left, const ExampleMember& right) {
  return std::lexicographical_compare(left.name.begin(), left.name.end(), right.name.begin(), right.name.end(),
                                      [](char a, char b) { return fold(a) < fold(b); });
}

ExampleArchive makeArchive(std::string fileName, std::string basePath,
                           const std::vector<std::pair<std::string, std::size_t>>& names) {
  ExampleArchive archive{std::move(fileName), std::move(basePath), {}};
  for (const auto& [name, size] : names) archive.members.push_back({name, memberData(name, size)});
  std::sort(archive.members.begin(), archive.members.end(), lookupOrder);
  return archive;
}

}  // namespace

// Game-ready, as arcpack writes archives: the header says how many entries
// are in use and that they are sorted, every entry is in use, and all carry
// one fixed time (2001-11-10 00:00 UTC as a FILETIME).
std::string ExampleArchive::bytes() const {
  constexpr std::uint64_t kFileTime = 126498240000000000ull;
  const bool subdirectories = std::any_of(members.begin(), members.end(), [](const ExampleMember& member) {
    return member.name.find('\\') != std::string::npos;
  });
  SlfWriter writer;
  writer.libraryName(fileName).basePath(basePath);
  writer.details(headerDetails(static_cast<std::int32_t>(members.size()), 0xFFFF, 0x0200, subdirectories ? 1 : 0));
  for (const ExampleMember& member : members) {
    Member record;
    record.name = member.name;
    record.data = member.data;
    record.details = entryDetails(0, kFileTime);
    writer.add(record);
  }
  return writer.build();
}

const std::string& ExampleArchive::data(const std::string& name) const {
  for (const ExampleMember& member : members) {
    if (member.name == name) return member.data;
  }
  throw std::runtime_error("no member " + name + " in " + fileName);
}

std::vector<ExampleArchive> exampleArchives() {
  return {
      // "arcdig -l tilesets.slf 49\*": the files below 49\, at any depth, and
      // none of the neighbours (149\, 50\, a top-level name).
      makeArchive("tilesets.slf", "tilesets\\",
                  {
                      {"0\\grass.sti", 640},
                      {"0\\water.sti", 512},
                      {"149\\grass.sti", 700},
                      {"49\\grass.sti", 2048},
                      {"49\\Rock.sti", 1100},
                      {"49\\trees\\palm.sti", 1536},
                      {"49\\water.sti", 900},
                      {"50\\grass.sti", 820},
                      {"tileset.dat", 256},
                  }),
      // "arcdig faces.slf *speck* -d myfaces": speck.sti, face33\speck.sti
      // and talk\speck.sti, and not the others.
      makeArchive("faces.slf", "faces\\",
                  {
                      {"face33\\ivan.sti", 900},
                      {"face33\\speck.sti", 1200},
                      {"fox.sti", 800},
                      {"ivan.sti", 960},
                      {"speck.sti", 1024},
                      {"talk\\speck.sti", 600},
                  }),
      // "arcdig bigitems.slf gun01.sti gun02.sti": without -d the files go
      // below the stored base path, bigitems\.
      makeArchive("bigitems.slf", "bigitems\\",
                  {
                      {"gun01.sti", 1300},
                      {"gun02.sti", 1400},
                      {"gun03.sti", 1250},
                      {"knife01.sti", 700},
                      {"vest01.sti", 880},
                  }),
  };
}

}  // namespace slftest
