// The host file source and the mount table; see file_source.h.
#include "platform/offline/image/file_source.h"

#include <cerrno>
#include <fstream>
#include <map>
#include <mutex>
#include <system_error>
#include <utility>

namespace qrv::offline {

namespace fs = std::filesystem;

bool FileSource::ReadWhole(const fs::path& path, uint64_t max_bytes,
                           std::vector<uint8_t>* bytes, int* error_number) const {
  bytes->clear();
  std::unique_ptr<RandomAccessFile> file = Open(path, error_number);
  if (!file) return false;
  if (file->size() > max_bytes) {
    *error_number = EFBIG;
    return false;
  }
  bytes->resize(static_cast<size_t>(file->size()));
  const size_t got = file->ReadAt(0, bytes->data(), bytes->size());
  if (got != bytes->size()) {
    bytes->clear();
    *error_number = EIO;
    return false;
  }
  return true;
}

namespace {

class HostFileSource final : public FileSource {
 public:
  std::vector<DirEntry> List(const fs::path& directory) const override {
    std::vector<DirEntry> entries;
    std::error_code ec;
    fs::directory_iterator dir(directory, ec);
    const fs::directory_iterator end;
    // An entry that vanishes or cannot be examined is left out; the walk
    // goes on with the next one.
    while (!ec && dir != end) {
      DirEntry e;
      const std::u8string name = dir->path().filename().u8string();
      e.name.assign(name.begin(), name.end());
      std::error_code type_ec;
      e.is_directory = dir->is_directory(type_ec);
      e.is_regular_file = dir->is_regular_file(type_ec);
      entries.push_back(std::move(e));
      dir.increment(ec);
    }
    return entries;
  }

  std::unique_ptr<RandomAccessFile> Open(const fs::path& path,
                                         int* error_number) const override {
    return OpenHostFile(path, error_number);
  }

  // Read in steps until end of file rather than trusting a size taken
  // first: files under /proc report 0 bytes, and a file may change between
  // the two.
  bool ReadWhole(const fs::path& path, uint64_t max_bytes, std::vector<uint8_t>* bytes,
                 int* error_number) const override {
    bytes->clear();
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::is_directory(status)) {
      *error_number = EISDIR;
      return false;
    }
    // A pipe or a device would block the read or never end it.
    if (fs::exists(status) && !fs::is_regular_file(status)) {
      *error_number = EINVAL;
      return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      *error_number = ENOENT;
      return false;
    }
    constexpr size_t kReadStep = 1 << 16;
    size_t used = 0;
    for (;;) {
      if (used > max_bytes) {
        bytes->clear();
        *error_number = EFBIG;
        return false;
      }
      bytes->resize(used + kReadStep);
      in.read(reinterpret_cast<char*>(bytes->data() + used),
              static_cast<std::streamsize>(kReadStep));
      used += static_cast<size_t>(in.gcount());
      if (!in) break;
    }
    if (in.bad() || used > max_bytes) {
      bytes->clear();
      *error_number = in.bad() ? EIO : EFBIG;
      return false;
    }
    bytes->resize(used);
    bytes->shrink_to_fit();
    return true;
  }
};

struct MountTable {
  std::mutex lock;
  std::map<fs::path, std::shared_ptr<const FileSource>> sources;
};

MountTable& Mounts() {
  static MountTable* const table = new MountTable();  // used until exit
  return *table;
}

// True when `prefix` is `path` or one of its ancestors, component-wise.
bool IsPrefix(const fs::path& prefix, const fs::path& path) {
  auto p = path.begin();
  for (const fs::path& part : prefix) {
    if (p == path.end() || *p != part) return false;
    ++p;
  }
  return true;
}

}  // namespace

const FileSource& HostFiles() {
  static const HostFileSource host;
  return host;
}

void MountFileSource(const fs::path& at, std::shared_ptr<const FileSource> source) {
  MountTable& table = Mounts();
  std::lock_guard<std::mutex> hold(table.lock);
  table.sources[at.lexically_normal()] = std::move(source);
}

const FileSource& FileSourceFor(const fs::path& path) {
  MountTable& table = Mounts();
  std::lock_guard<std::mutex> hold(table.lock);
  if (table.sources.empty()) return HostFiles();
  const fs::path normal = path.lexically_normal();
  const FileSource* best = nullptr;
  size_t best_length = 0;
  for (const auto& [at, source] : table.sources) {
    const size_t length = static_cast<size_t>(std::distance(at.begin(), at.end()));
    if (length >= best_length && IsPrefix(at, normal)) {
      best = source.get();
      best_length = length;
    }
  }
  return best != nullptr ? *best : HostFiles();
}

}  // namespace qrv::offline
