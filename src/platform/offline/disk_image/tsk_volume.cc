// The Sleuth Kit's image, partitions and NTFS files; see tsk_volume.h.
#include "platform/offline/disk_image/tsk_volume.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <utility>

#include "platform/offline/disk_image/tsk_library.h"

namespace qrv::offline {

namespace {

// A folder listing stops here: no Windows folder comes near it, and a
// damaged index must not fill memory.
constexpr size_t kMaxFolderEntries = 1'000'000;

struct DirCloser {
  const TskLibrary* tsk;
  void operator()(TSK_FS_DIR* dir) const { tsk->fs_dir_close(dir); }
};
struct FileCloser {
  const TskLibrary* tsk;
  void operator()(TSK_FS_FILE* file) const { tsk->fs_file_close(file); }
};
struct VsCloser {
  const TskLibrary* tsk;
  void operator()(TSK_VS_INFO* vs) const { tsk->vs_close(vs); }
};

// One open file of the volume. The volume (and so the image) outlives it.
class NtfsFile final : public RandomAccessFile {
 public:
  NtfsFile(std::shared_ptr<const NtfsVolume> volume, std::shared_ptr<TskImage> image,
           std::unique_ptr<TSK_FS_FILE, FileCloser> file, uint64_t size)
      : volume_(std::move(volume)), image_(std::move(image)), file_(std::move(file)), size_(size) {}

  ~NtfsFile() override {
    std::lock_guard<std::mutex> hold(image_->lock());
    file_.reset();
  }
  NtfsFile(const NtfsFile&) = delete;
  NtfsFile& operator=(const NtfsFile&) = delete;

  uint64_t size() const override { return size_; }

  size_t ReadAt(uint64_t offset, void* buffer, size_t length) const override {
    if (offset >= size_) return 0;
    length = static_cast<size_t>(std::min<uint64_t>(length, size_ - offset));
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    std::lock_guard<std::mutex> hold(image_->lock());
    while (done < length) {
      const ssize_t got =
          image_->tsk().fs_file_read(file_.get(), static_cast<TSK_OFF_T>(offset + done), out + done,
                                     length - done, TSK_FS_FILE_READ_FLAG_NONE);
      if (got <= 0) break;
      done += std::min(static_cast<size_t>(got), length - done);
    }
    return done;
  }

 private:
  std::shared_ptr<const NtfsVolume> volume_;
  std::shared_ptr<TskImage> image_;
  std::unique_ptr<TSK_FS_FILE, FileCloser> file_;
  uint64_t size_;
};

// A name a path can be built from: no separators, not "." or "..".
bool UsableName(const char* name) {
  if (name == nullptr || *name == '\0') return false;
  const std::string_view n(name);
  return n != "." && n != ".." && n.find('/') == std::string_view::npos &&
         n.find('\\') == std::string_view::npos;
}

}  // namespace

std::shared_ptr<TskImage> TskImage::Open(const TskLibrary& tsk,
                                         const std::filesystem::path& path) {
  TSK_IMG_INFO* image = tsk.img_open_utf8_sing(path.c_str(), TSK_IMG_TYPE_DETECT, 0);
  if (image == nullptr) return nullptr;
  if (image->size <= 0 || image->sector_size == 0) {
    tsk.img_close(image);
    return nullptr;
  }
  return std::shared_ptr<TskImage>(new TskImage(tsk, image));
}

TskImage::TskImage(const TskLibrary& tsk, TSK_IMG_INFO* image)
    : tsk_(tsk), image_(image), size_(static_cast<uint64_t>(image->size)) {}

TskImage::~TskImage() { tsk_.img_close(image_); }

std::vector<ImagePartition> TskImage::Partitions(bool* from_table) {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<ImagePartition> parts;
  std::unique_ptr<TSK_VS_INFO, VsCloser> vs(tsk_.vs_open(image_, 0, TSK_VS_TYPE_DETECT),
                                            VsCloser{&tsk_});
  if (vs && vs->block_size > 0) {
    int number = 0;
    for (TSK_PNUM_T i = 0; i < vs->part_count; ++i) {
      const TSK_VS_PART_INFO* part = tsk_.vs_part_get(vs.get(), i);
      if (part == nullptr || (part->flags & TSK_VS_PART_FLAG_ALLOC) == 0) continue;
      ++number;
      // A partition starting past the end cannot be read at all; one that
      // ends past it is kept, and cut short below.
      const uint64_t offset = static_cast<uint64_t>(part->start) * vs->block_size;
      if (part->start > size_ / vs->block_size) continue;
      parts.push_back({number, offset, static_cast<uint64_t>(part->len) * vs->block_size});
    }
  }
  tsk_.error_reset();
  *from_table = !parts.empty();
  if (parts.empty()) parts.push_back({1, 0, size_});
  return parts;
}

size_t TskImage::ReadAt(uint64_t offset, void* buffer, size_t length) {
  if (offset >= size_) return 0;
  length = static_cast<size_t>(std::min<uint64_t>(length, size_ - offset));
  std::lock_guard<std::mutex> hold(lock_);
  const ssize_t got = tsk_.img_read(image_, static_cast<TSK_OFF_T>(offset),
                                    static_cast<char*>(buffer), length);
  tsk_.error_reset();
  return got > 0 ? static_cast<size_t>(got) : 0;
}

std::shared_ptr<NtfsVolume> TskImage::OpenNtfs(uint64_t offset) {
  if (offset >= size_) return nullptr;
  TSK_FS_INFO* volume = nullptr;
  {
    std::lock_guard<std::mutex> hold(lock_);
    volume = tsk_.fs_open_img(image_, static_cast<TSK_OFF_T>(offset), TSK_FS_TYPE_NTFS);
    tsk_.error_reset();
  }
  if (volume == nullptr) return nullptr;
  return std::make_shared<NtfsVolume>(shared_from_this(), volume);
}

NtfsVolume::NtfsVolume(std::shared_ptr<TskImage> image, TSK_FS_INFO* volume)
    : image_(std::move(image)), volume_(volume) {
  length_ = static_cast<uint64_t>(volume->block_count) * volume->block_size;
}

NtfsVolume::~NtfsVolume() {
  std::lock_guard<std::mutex> hold(image_->lock());
  image_->tsk().fs_close(volume_);
}

std::string NtfsVolume::Inside(const std::filesystem::path& path) const {
  const std::filesystem::path relative = path.lexically_normal().lexically_relative(mount_point_);
  if (relative.empty() || *relative.begin() == "..") return std::string();
  std::string inside;
  for (const std::filesystem::path& part : relative) {
    if (part == ".") continue;
    const std::u8string name = part.u8string();
    inside += '/';
    inside.append(name.begin(), name.end());
  }
  return inside.empty() ? "/" : inside;
}

std::vector<DirEntry> NtfsVolume::ListInside(const std::string& inside) const {
  std::vector<DirEntry> entries;
  std::lock_guard<std::mutex> hold(image_->lock());
  const TskLibrary& tsk = image_->tsk();
  std::unique_ptr<TSK_FS_DIR, DirCloser> dir(tsk.fs_dir_open(volume_, inside.c_str()),
                                             DirCloser{&tsk});
  tsk.error_reset();
  if (!dir) return entries;
  const size_t count = std::min(tsk.fs_dir_getsize(dir.get()), kMaxFolderEntries);
  for (size_t i = 0; i < count; ++i) {
    std::unique_ptr<TSK_FS_FILE, FileCloser> file(tsk.fs_dir_get(dir.get(), i), FileCloser{&tsk});
    if (!file || file->name == nullptr) continue;
    const TSK_FS_NAME* name = file->name;
    // Deleted entries stay in NTFS indexes; Windows lists only live ones.
    if ((name->flags & TSK_FS_NAME_FLAG_ALLOC) == 0 || !UsableName(name->name)) continue;
    DirEntry e;
    e.name = name->name;
    e.is_directory = name->type == TSK_FS_NAME_TYPE_DIR;
    e.is_regular_file = name->type == TSK_FS_NAME_TYPE_REG;
    entries.push_back(std::move(e));
  }
  tsk.error_reset();
  return entries;
}

bool NtfsVolume::HasFile(const std::string& inside) const {
  int error_number = 0;
  return OpenInside(inside, &error_number) != nullptr;
}

std::vector<DirEntry> NtfsVolume::List(const std::filesystem::path& directory) const {
  const std::string inside = Inside(directory);
  if (inside.empty()) return {};
  return ListInside(inside);
}

std::unique_ptr<RandomAccessFile> NtfsVolume::Open(const std::filesystem::path& path,
                                                   int* error_number) const {
  const std::string inside = Inside(path);
  if (inside.empty()) {
    *error_number = ENOENT;
    return nullptr;
  }
  return OpenInside(inside, error_number);
}

std::unique_ptr<RandomAccessFile> NtfsVolume::OpenInside(const std::string& inside,
                                                         int* error_number) const {
  const TskLibrary& tsk = image_->tsk();
  std::unique_ptr<TSK_FS_FILE, FileCloser> file(nullptr, FileCloser{&tsk});
  {
    std::lock_guard<std::mutex> hold(image_->lock());
    file.reset(tsk.fs_file_open(volume_, nullptr, inside.c_str()));
    tsk.error_reset();
  }
  if (!file || file->meta == nullptr) {
    *error_number = ENOENT;
    return nullptr;
  }
  if (TSK_FS_IS_DIR_META(file->meta->type)) {
    *error_number = EISDIR;
    return nullptr;
  }
  if (file->meta->type != TSK_FS_META_TYPE_REG || file->meta->size < 0) {
    *error_number = EACCES;
    return nullptr;
  }
  // Sparse and compressed files may hold more than the image; a size
  // beyond a few times the image is damage, and is cut there so readers
  // walking the file end.
  const uint64_t bound = std::max<uint64_t>(image_->size(), 1) * 8;
  const uint64_t size = std::min<uint64_t>(static_cast<uint64_t>(file->meta->size), bound);
  return std::make_unique<NtfsFile>(shared_from_this(), image_, std::move(file), size);
}

}  // namespace qrv::offline
