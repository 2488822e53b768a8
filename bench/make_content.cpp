// Writes the benchmark content: for each shape, the same members as an SLF
// archive (backslash names), an uncompressed ustar archive and a stored zip
// (forward-slash names, with directory entries, as archivers make them from a
// file tree). Member bytes come from a fixed-seed generator, so every run
// writes byte-identical files. Members are generated one at a time and written
// to all outputs at once; memory stays at one member.
//
// Usage: arcdig_bench_content OUTDIR [--force] [tilesets|large|many ...]
// A shape whose files are complete (stamp file present) is skipped unless
// --force is given. Files are written under temporary names and renamed at
// the end, so an interrupted run never leaves a complete-looking shape.

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Bump when the content or the container layout changes: stale caches are
// then regenerated.
constexpr const char* kContentVersion = "arcdig-bench-content 1";

constexpr std::size_t kSlfHeaderSize = 532;
constexpr std::size_t kSlfRecordSize = 280;
constexpr std::size_t kSlfTextField = 256;
constexpr std::size_t kTarBlock = 512;
constexpr std::size_t kTarRecord = 20 * kTarBlock;  // GNU tar's default blocking
constexpr std::uint32_t kMtime = 1704067200;         // 2024-01-01 00:00:00 UTC
constexpr std::uint16_t kDosDate = ((2024 - 1980) << 9) | (1 << 5) | 1;
constexpr std::uint16_t kDosTime = 0;
constexpr std::size_t kZipMaxEntries = 0xFFFF;  // beyond that zip64 would be needed

struct Member {
  std::string directory;  // one level, no separator
  std::string file;
  std::uint32_t size;
};

struct Shape {
  std::string name;
  std::vector<Member> members;
  std::uint64_t seed;
};

// splitmix64: fast, fixed, and identical on every platform.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint32_t below(std::uint32_t bound) { return static_cast<std::uint32_t>(next() % bound); }
  void fill(std::vector<unsigned char>& bytes, std::size_t size) {
    bytes.resize(size);
    std::size_t at = 0;
    for (; at + 8 <= size; at += 8) {
      const std::uint64_t word = next();
      std::memcpy(bytes.data() + at, &word, 8);
    }
    if (at < size) {
      const std::uint64_t word = next();
      std::memcpy(bytes.data() + at, &word, size - at);
    }
  }

 private:
  std::uint64_t state_;
};

std::string numbered(const char* prefix, unsigned value, int width, const char* suffix) {
  char text[64];
  std::snprintf(text, sizeof text, "%s%0*u%s", prefix, width, value, suffix);
  return text;
}

// 6,324 members of 1 to 22 KiB in 50 directories, grouped by directory.
Shape tilesetsShape() {
  Shape shape{"tilesets", {}, 0x7115E75ull};
  Random sizes(shape.seed ^ 0x5123ull);
  constexpr unsigned kCount = 6324;
  constexpr unsigned kDirectories = 50;
  unsigned indexInDirectory = 0;
  unsigned previousDirectory = kDirectories;
  for (unsigned i = 0; i < kCount; ++i) {
    const unsigned directory = i * kDirectories / kCount;
    indexInDirectory = directory == previousDirectory ? indexInDirectory + 1 : 0;
    previousDirectory = directory;
    shape.members.push_back({numbered("dir", directory, 2, ""),
                             numbered("tile", indexInDirectory, 4, ".sti"),
                             1024 + sizes.below(22 * 1024 - 1024 + 1)});
  }
  return shape;
}

// 24 members of 16 MiB in one directory.
Shape largeShape() {
  Shape shape{"large", {}, 0x1A26Eull};
  for (unsigned i = 0; i < 24; ++i) {
    shape.members.push_back({"video", numbered("clip", i, 2, ".smk"), 16u << 20});
  }
  return shape;
}

// 200,000 members of 64 bytes in 500 directories, grouped by directory.
Shape manyShape() {
  Shape shape{"many", {}, 0x3A41ull};
  constexpr unsigned kCount = 200000;
  constexpr unsigned kDirectories = 500;
  for (unsigned i = 0; i < kCount; ++i) {
    shape.members.push_back(
        {numbered("grp", i / (kCount / kDirectories), 3, ""), numbered("item", i, 6, ".dat"), 64});
  }
  return shape;
}

class Output {
 public:
  explicit Output(std::string path) : path_(std::move(path)), file_(std::fopen(path_.c_str(), "wb")) {
    if (file_ == nullptr) throw std::runtime_error("cannot create " + path_);
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  ~Output() {
    if (file_ != nullptr) std::fclose(file_);
  }
  void write(const void* data, std::size_t size) {
    if (size != 0 && std::fwrite(data, 1, size, file_) != size) throw std::runtime_error("cannot write " + path_);
    position_ += size;
  }
  void write(const std::string& bytes) { write(bytes.data(), bytes.size()); }
  void zeros(std::size_t count) {
    static const std::array<unsigned char, kTarRecord> kZeros{};
    while (count > 0) {
      const std::size_t chunk = count < kZeros.size() ? count : kZeros.size();
      write(kZeros.data(), chunk);
      count -= chunk;
    }
  }
  void close() {
    const int result = std::fclose(file_);
    file_ = nullptr;
    if (result != 0) throw std::runtime_error("cannot write " + path_);
  }
  std::uint64_t position() const { return position_; }

 private:
  std::string path_;
  std::FILE* file_;
  std::uint64_t position_ = 0;
};

void putLe(std::string& bytes, std::size_t at, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) {
    bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFFu);
  }
}

void appendLe(std::string& bytes, std::uint64_t value, int width) {
  bytes.append(static_cast<std::size_t>(width), '\0');
  putLe(bytes, bytes.size() - static_cast<std::size_t>(width), value, width);
}

std::uint32_t toU32(std::uint64_t value, const char* what) {
  if (value > 0xFFFFFFFFull) throw std::runtime_error(std::string(what) + " exceeds 32 bits");
  return static_cast<std::uint32_t>(value);
}

// --- SLF ---------------------------------------------------------------------

class SlfOutput {
 public:
  SlfOutput(const std::string& path, const std::string& libraryName, std::size_t count) : out_(path) {
    std::string header(kSlfHeaderSize, '\0');
    header.replace(0, libraryName.size(), libraryName);
    const std::string basePath = "bench\\";
    header.replace(kSlfTextField, basePath.size(), basePath);
    putLe(header, 2 * kSlfTextField, count, 4);
    out_.write(header);
    directory_.reserve(count * kSlfRecordSize);
  }
  void add(const std::string& storedName, const std::vector<unsigned char>& data) {
    if (storedName.size() >= kSlfTextField) throw std::runtime_error("stored name too long");
    const std::uint64_t offset = out_.position();
    if (offset + data.size() > 0x7FFFFFFFull) throw std::runtime_error("SLF archive over 2 GiB");
    std::string record(kSlfRecordSize, '\0');
    record.replace(0, storedName.size(), storedName);
    putLe(record, kSlfTextField, offset, 4);
    putLe(record, kSlfTextField + 4, data.size(), 4);
    directory_ += record;
    out_.write(data.data(), data.size());
  }
  void finish() {
    out_.write(directory_);
    out_.close();
  }

 private:
  Output out_;
  std::string directory_;
};

// --- tar (POSIX ustar) ---------------------------------------------------------

void putOctal(std::string& block, std::size_t at, std::size_t fieldSize, std::uint64_t value) {
  // Digits fill the field except its final NUL.
  std::size_t position = at + fieldSize - 1;
  block[position] = '\0';
  while (position > at) {
    --position;
    block[position] = static_cast<char>('0' + (value & 7u));
    value >>= 3;
  }
  if (value != 0) throw std::runtime_error("tar field overflow");
}

std::string tarHeader(const std::string& path, char type, std::uint64_t size) {
  if (path.size() > 100) throw std::runtime_error("tar path too long: " + path);
  std::string block(kTarBlock, '\0');
  block.replace(0, path.size(), path);
  putOctal(block, 100, 8, type == '5' ? 0755 : 0644);
  putOctal(block, 108, 8, 0);
  putOctal(block, 116, 8, 0);
  putOctal(block, 124, 12, size);
  putOctal(block, 136, 12, kMtime);
  block[156] = type;
  block.replace(257, 6, std::string("ustar\0", 6));
  block.replace(263, 2, "00");
  block.replace(265, 4, "root");
  block.replace(297, 4, "root");
  block.replace(148, 8, "        ");
  unsigned sum = 0;
  for (char c : block) sum += static_cast<unsigned char>(c);
  putOctal(block, 148, 7, sum);
  block[155] = ' ';
  return block;
}

class TarOutput {
 public:
  explicit TarOutput(const std::string& path) : out_(path) {}
  void addDirectory(const std::string& path) { out_.write(tarHeader(path + "/", '5', 0)); }
  void addFile(const std::string& path, const std::vector<unsigned char>& data) {
    out_.write(tarHeader(path, '0', data.size()));
    out_.write(data.data(), data.size());
    out_.zeros((kTarBlock - data.size() % kTarBlock) % kTarBlock);
  }
  void finish() {
    out_.zeros(2 * kTarBlock);
    out_.zeros((kTarRecord - out_.position() % kTarRecord) % kTarRecord);
    out_.close();
  }

 private:
  Output out_;
};

// --- zip (stored) ------------------------------------------------------------

std::uint32_t crc32(const std::vector<unsigned char>& data) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> result{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      result[n] = c;
    }
    return result;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : data) crc = table[(crc ^ byte) & 0xFFu] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

class ZipOutput {
 public:
  explicit ZipOutput(const std::string& path) : out_(path) {}
  void addDirectory(const std::string& path) { add(path + "/", {}, 040755u); }
  void addFile(const std::string& path, const std::vector<unsigned char>& data) { add(path, data, 0100644u); }
  void finish() {
    const std::uint64_t centralStart = out_.position();
    out_.write(central_);
    std::string end;
    appendLe(end, 0x06054b50u, 4);
    appendLe(end, 0, 2);
    appendLe(end, 0, 2);
    appendLe(end, count_, 2);
    appendLe(end, count_, 2);
    appendLe(end, central_.size(), 4);
    appendLe(end, toU32(centralStart, "zip offset"), 4);
    appendLe(end, 0, 2);
    out_.write(end);
    out_.close();
  }

 private:
  void add(const std::string& path, const std::vector<unsigned char>& data, std::uint32_t mode) {
    if (++count_ > kZipMaxEntries) throw std::runtime_error("too many zip entries");
    const std::uint32_t crc = data.empty() ? 0 : crc32(data);
    const std::uint32_t size = toU32(data.size(), "zip member");
    const std::uint32_t localOffset = toU32(out_.position(), "zip offset");
    std::string local;
    appendLe(local, 0x04034b50u, 4);
    appendLe(local, 10, 2);  // version needed: stored
    appendLe(local, 0, 2);   // flags
    appendLe(local, 0, 2);   // method: stored
    appendLe(local, kDosTime, 2);
    appendLe(local, kDosDate, 2);
    appendLe(local, crc, 4);
    appendLe(local, size, 4);
    appendLe(local, size, 4);
    appendLe(local, path.size(), 2);
    appendLe(local, 0, 2);
    local += path;
    out_.write(local);
    out_.write(data.data(), data.size());

    appendLe(central_, 0x02014b50u, 4);
    appendLe(central_, 0x031E, 2);  // made by: Unix, version 3.0
    appendLe(central_, 10, 2);
    appendLe(central_, 0, 2);
    appendLe(central_, 0, 2);
    appendLe(central_, kDosTime, 2);
    appendLe(central_, kDosDate, 2);
    appendLe(central_, crc, 4);
    appendLe(central_, size, 4);
    appendLe(central_, size, 4);
    appendLe(central_, path.size(), 2);
    appendLe(central_, 0, 2);  // extra
    appendLe(central_, 0, 2);  // comment
    appendLe(central_, 0, 2);  // disk
    appendLe(central_, 0, 2);  // internal attributes
    appendLe(central_, (std::uint64_t{mode} << 16) | ((mode & 040000u) != 0 ? 0x10u : 0u), 4);
    appendLe(central_, localOffset, 4);
    central_ += path;
  }

  Output out_;
  std::string central_;
  std::uint64_t count_ = 0;
};

// --- driver ------------------------------------------------------------------

// Zip is written only where the classic format holds every entry.
bool hasZip(const Shape& shape) { return shape.members.size() + 1000 < kZipMaxEntries; }

std::string stampPath(const std::string& outDir, const Shape& shape) { return outDir + "/" + shape.name + ".done"; }

bool upToDate(const std::string& outDir, const Shape& shape) {
  std::ifstream stamp(stampPath(outDir, shape));
  std::string line;
  if (!std::getline(stamp, line) || line != kContentVersion) return false;
  for (const char* extension : {".slf", ".tar", ".zip"}) {
    if (!hasZip(shape) && std::strcmp(extension, ".zip") == 0) continue;
    if (!std::ifstream(outDir + "/" + shape.name + extension)) return false;
  }
  return true;
}

void renameInto(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) throw std::runtime_error("cannot rename " + from);
}

void generate(const std::string& outDir, const Shape& shape) {
  const bool withZip = hasZip(shape);
  const std::string base = outDir + "/" + shape.name;
  std::remove(stampPath(outDir, shape).c_str());

  SlfOutput slf(base + ".slf.part", shape.name + ".slf", shape.members.size());
  TarOutput tar(base + ".tar.part");
  std::optional<ZipOutput> zip;
  if (withZip) zip.emplace(base + ".zip.part");

  Random content(shape.seed);
  std::vector<unsigned char> data;
  std::string currentDirectory;
  std::uint64_t total = 0;
  for (const Member& member : shape.members) {
    if (member.directory != currentDirectory) {
      currentDirectory = member.directory;
      tar.addDirectory(currentDirectory);
      if (zip) zip->addDirectory(currentDirectory);
    }
    content.fill(data, member.size);
    total += member.size;
    slf.add(member.directory + "\\" + member.file, data);
    const std::string path = member.directory + "/" + member.file;
    tar.addFile(path, data);
    if (zip) zip->addFile(path, data);
  }
  slf.finish();
  tar.finish();
  if (zip) zip->finish();

  renameInto(base + ".slf.part", base + ".slf");
  renameInto(base + ".tar.part", base + ".tar");
  if (withZip) renameInto(base + ".zip.part", base + ".zip");
  std::ofstream(stampPath(outDir, shape)) << kContentVersion << "\n";
  std::cout << shape.name << ": " << shape.members.size() << " members, " << total << " bytes"
            << (withZip ? "" : " (no zip: too many entries)") << "\n";
}

Shape shapeNamed(const std::string& name) {
  if (name == "tilesets") return tilesetsShape();
  if (name == "large") return largeShape();
  if (name == "many") return manyShape();
  throw std::runtime_error("unknown shape " + name);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: arcdig_bench_content OUTDIR [--force] [tilesets|large|many ...]\n";
    return 2;
  }
  try {
    const std::string outDir = argv[1];
    bool force = false;
    std::vector<std::string> names;
    for (int i = 2; i < argc; ++i) {
      const std::string argument = argv[i];
      if (argument == "--force") {
        force = true;
      } else {
        names.push_back(argument);
      }
    }
    if (names.empty()) names = {"tilesets", "large", "many"};
    for (const std::string& name : names) {
      const Shape shape = shapeNamed(name);
      if (!force && upToDate(outDir, shape)) {
        std::cout << name << ": up to date\n";
        continue;
      }
      generate(outDir, shape);
    }
  } catch (const std::exception& error) {
    std::cerr << "arcdig_bench_content: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
