// FileSource: a source mounted over a path serves the image layer's reads
// below it (listings, whole files, positioned reads); other paths stay on
// the host.
#include "platform/offline/image/file_source.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "image_test_util.h"
#include "platform/offline/image/path_resolver.h"
#include "platform/offline/image/positioned_file.h"
#include "platform/offline/image/whole_file.h"

namespace qrv::offline {
namespace {

using testing::TempFolder;

// Files held in memory under their full paths; folders are implied.
class MemorySource final : public FileSource {
 public:
  explicit MemorySource(std::map<std::filesystem::path, std::string> files) : files_(std::move(files)) {}

  std::vector<DirEntry> List(const std::filesystem::path& directory) const override {
    std::map<std::string, bool> names;  // name -> is a folder
    for (const auto& [path, bytes] : files_) {
      const auto relative = path.lexically_relative(directory);
      if (relative.empty() || *relative.begin() == "..") continue;
      names[relative.begin()->string()] |= std::distance(relative.begin(), relative.end()) > 1;
    }
    std::vector<DirEntry> entries;
    for (const auto& [name, folder] : names) entries.push_back({name, folder, !folder});
    return entries;
  }

  std::unique_ptr<RandomAccessFile> Open(const std::filesystem::path& path, int* error_number) const override {
    const auto it = files_.find(path);
    if (it == files_.end()) {
      *error_number = ENOENT;
      return nullptr;
    }
    return std::make_unique<Bytes>(it->second);
  }

 private:
  struct Bytes final : RandomAccessFile {
    explicit Bytes(std::string b) : bytes(std::move(b)) {}
    uint64_t size() const override { return bytes.size(); }
    size_t ReadAt(uint64_t offset, void* buffer, size_t length) const override {
      if (offset >= bytes.size()) return 0;
      const size_t n = std::min<size_t>(length, bytes.size() - offset);
      std::memcpy(buffer, bytes.data() + offset, n);
      return n;
    }
    std::string bytes;
  };
  std::map<std::filesystem::path, std::string> files_;
};

TEST(FileSourceTest, MountedSourceServesEveryReadBelowItsPath) {
  TempFolder host;
  host.Write("beside.txt", "on the host");
  const std::filesystem::path disk = host.path() / "disk.vhdx";
  host.Write("disk.vhdx", "image bytes");
  MountFileSource(disk, std::make_shared<MemorySource>(std::map<std::filesystem::path, std::string>{
                            {disk / "Windows/System32/config/SYSTEM", "hive"},
                            {disk / "Windows/System32/winevt/Logs/System.evtx", "0123456789"}}));

  PathResolver resolver(disk);
  const auto log = resolver.Resolve({"WINDOWS", "system32", "WinEvt", "logs", "SYSTEM.EVTX"});
  ASSERT_TRUE(log.has_value());
  EXPECT_EQ(*log, disk / "Windows/System32/winevt/Logs/System.evtx");

  PositionedFile file;
  int error_number = 0;
  ASSERT_TRUE(file.Open(*log, &error_number));
  EXPECT_EQ(file.size(), 10u);
  char middle[4] = {};
  EXPECT_EQ(file.ReadAt(3, middle, 4), 4u);
  EXPECT_EQ(std::string(middle, 4), "3456");
  EXPECT_EQ(file.ReadAt(8, middle, 4), 2u);

  WholeFile hive;
  ASSERT_TRUE(hive.Open(disk / "Windows/System32/config/SYSTEM"));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(hive.data()), hive.size()), "hive");
  EXPECT_FALSE(hive.Open(disk / "Windows/System32/config/SOFTWARE", &error_number));
  EXPECT_EQ(error_number, ENOENT);

  // A sibling of the mount, and the host's own file, stay on the host.
  WholeFile beside;
  ASSERT_TRUE(beside.Open(host.path() / "beside.txt"));
  EXPECT_EQ(beside.size(), 11u);
  EXPECT_EQ(&FileSourceFor(host.path() / "beside.txt"), &HostFiles());
}

TEST(FileSourceTest, ReadWholeRefusesOversizedFilesAndPipes) {
  TempFolder host;
  const auto path = host.Write("big", std::string(1000, 'x'));
  std::vector<uint8_t> bytes;
  int error_number = 0;
  EXPECT_FALSE(HostFiles().ReadWhole(path, 999, &bytes, &error_number));
  EXPECT_EQ(error_number, EFBIG);
  EXPECT_TRUE(HostFiles().ReadWhole(path, 1000, &bytes, &error_number));
  EXPECT_EQ(bytes.size(), 1000u);
  // A pipe named where a hive or a DLL should be is refused, not waited on.
  const auto pipe = host.path() / "pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_FALSE(HostFiles().ReadWhole(pipe, 1000, &bytes, &error_number));
  EXPECT_EQ(error_number, EINVAL);
  MemorySource memory({{host.path() / "m", std::string(50, 'y')}});
  EXPECT_FALSE(memory.ReadWhole(host.path() / "m", 49, &bytes, &error_number));
  EXPECT_EQ(error_number, EFBIG);
  EXPECT_TRUE(memory.ReadWhole(host.path() / "m", 50, &bytes, &error_number));
  EXPECT_EQ(bytes, std::vector<uint8_t>(50, 'y'));
}

}  // namespace
}  // namespace qrv::offline
