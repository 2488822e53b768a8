// Checking an archive for what would make the game miss or misread a file.
// The game finds a member by binary search over the records, so order and
// uniqueness under the fold matter as much as the member's place in the file.
#include <algorithm>
#include <string_view>

#include "pack/pack.h"

namespace pack {
namespace {

struct Member {
  std::size_t index;  // in stored order
  std::string_view name;
  const slf::SLFEntry* entry;
};

std::string quoted(std::string_view text) {
  std::string result("'");
  result.append(text);
  result += '\'';
  return result;
}

class Checker {
 public:
  Checker(const slf::SLFArchive& archive, const platform::FileSystem& fileSystem)
      : archive_(archive), fileSystem_(fileSystem) {
    for (const slf::SLFEntry& entry : archive.entries) {
      members_.push_back({members_.size(), slf::fieldText(entry.name), &entry});
    }
    perEntry_.resize(members_.size());
    const auto records = static_cast<std::int64_t>(members_.size() * slf::kEntrySize);
    recordsStart_ = static_cast<std::int64_t>(archive.input->size()) - records;
  }

  std::vector<Finding> run() {
    checkHeader();
    for (const Member& member : members_) checkEntry(member);
    checkNamesApartUnderFold();
    checkOverlaps();
    for (std::size_t i = 0; i < members_.size(); ++i) {
      for (std::string& problem : perEntry_[i]) {
        findings_.push_back({std::string(members_[i].name), std::move(problem)});
      }
    }
    return std::move(findings_);
  }

 private:
  void checkHeader() {
    const slf::SLFHeader& header = archive_.header;
    const std::string_view basePath = slf::fieldText(header.basePath);
    if (!basePath.empty() && basePath.back() != '\\') {
      findings_.push_back({std::nullopt, "base path " + quoted(basePath) + " does not end in a backslash"});
    }
    if (slf::usedEntryCount(header) != header.entryCount) {
      findings_.push_back({std::nullopt, "entries in use (" + std::to_string(slf::usedEntryCount(header)) +
                                         ") differ from the entry count (" + std::to_string(header.entryCount) +
                                         ")"});
    }
  }

  void checkEntry(const Member& member) {
    std::vector<std::string>& problems = perEntry_[member.index];
    const slf::SLFEntry& entry = *member.entry;
    if (member.name.size() == slf::kTextFieldSize) problems.push_back("name has no ending zero byte");
    if (slf::entryState(entry) != slf::kEntryInUse) {
      problems.push_back("not marked in use (state " + std::to_string(slf::entryState(entry)) +
                         "), so the game skips it");
    }
    if (!slf::staysInside(member.name, fileSystem_)) problems.push_back("name that arcdig refuses to extract");
    if (!insideDataRegion(entry)) {
      problems.push_back("data outside the data region (offset " + std::to_string(entry.offset) + ", length " +
                         std::to_string(entry.length) + ")");
    }
    if (member.index > 0) {
      const std::string_view previous = members_[member.index - 1].name;
      if (slf::compareLookupOrder(previous, member.name) > 0) {
        problems.push_back("out of lookup order after " + quoted(previous));
      }
    }
  }

  // Data lies between the header and the records; an empty member has none.
  bool insideDataRegion(const slf::SLFEntry& entry) const {
    if (entry.length < 0 || entry.offset < 0) return false;
    if (entry.length == 0) return true;
    const std::int64_t start = entry.offset;
    return start >= static_cast<std::int64_t>(slf::kHeaderSize) && start + entry.length <= recordsStart_;
  }

  // Each name is compared with the closest one in lookup order; the later one
  // in stored order is reported, naming the earlier.
  void checkNamesApartUnderFold() {
    std::vector<const Member*> sorted;
    for (const Member& member : members_) sorted.push_back(&member);
    std::stable_sort(sorted.begin(), sorted.end(), [](const Member* left, const Member* right) {
      return slf::compareLookupOrder(left->name, right->name) < 0;
    });
    for (std::size_t i = 1; i < sorted.size(); ++i) {
      if (slf::compareLookupOrder(sorted[i - 1]->name, sorted[i]->name) != 0) continue;
      perEntry_[sorted[i]->index].push_back("same name as " + quoted(sorted[i - 1]->name) +
                                            " when letter case is ignored");
    }
  }

  // Members with data, by offset; each is compared with the one that reaches
  // furthest among those that start before it.
  void checkOverlaps() {
    std::vector<const Member*> sorted;
    for (const Member& member : members_) {
      if (member.entry->length > 0 && member.entry->offset >= 0) sorted.push_back(&member);
    }
    std::stable_sort(sorted.begin(), sorted.end(), [](const Member* left, const Member* right) {
      return left->entry->offset < right->entry->offset;
    });
    const Member* furthest = nullptr;
    std::int64_t furthestEnd = 0;
    for (const Member* member : sorted) {
      const std::int64_t start = member->entry->offset;
      const std::int64_t end = start + member->entry->length;
      if (furthest != nullptr && start < furthestEnd) {
        perEntry_[member->index].push_back("data overlaps " + quoted(furthest->name));
      }
      if (furthest == nullptr || end > furthestEnd) {
        furthest = member;
        furthestEnd = end;
      }
    }
  }

  const slf::SLFArchive& archive_;
  const platform::FileSystem& fileSystem_;
  std::vector<Member> members_;
  std::vector<std::vector<std::string>> perEntry_;
  std::vector<Finding> findings_;
  std::int64_t recordsStart_ = 0;
};

}  // namespace

std::vector<Finding> checkArchive(const slf::SLFArchive& archive, const platform::FileSystem& fileSystem) {
  return Checker(archive, fileSystem).run();
}

}  // namespace pack
