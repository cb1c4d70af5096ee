// The Sleuth Kit's handles for one disk image, each closed with its owner,
// and an NTFS volume inside it served as a FileSource. Every call into the
// library (loaded at run time: tsk_library.h) for one image goes through the
// image's lock: its caches are shared by all the files read from it. Entry
// points: TskImage::Open, TskImage::OpenNtfs, NtfsVolume.
#ifndef QRV_PLATFORM_OFFLINE_DISK_IMAGE_TSK_VOLUME_H_
#define QRV_PLATFORM_OFFLINE_DISK_IMAGE_TSK_VOLUME_H_

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/offline/image/file_source.h"

struct TSK_IMG_INFO;
struct TSK_FS_INFO;

namespace qrv::offline {

// A partition, or the whole image when it has no table.
struct ImagePartition {
  int number = 0;        // 1-based, allocated partitions in table order
  uint64_t offset = 0;   // bytes from the image's start
  uint64_t length = 0;   // bytes
};

class NtfsVolume;
class TskLibrary;

class TskImage : public std::enable_shared_from_this<TskImage> {
 public:
  // Opens the image file (its other segments are found from it); null when
  // the library cannot read it.
  static std::shared_ptr<TskImage> Open(const TskLibrary& tsk, const std::filesystem::path& path);
  ~TskImage();
  TskImage(const TskImage&) = delete;
  TskImage& operator=(const TskImage&) = delete;

  uint64_t size() const { return size_; }
  // The allocated partitions, or one spanning the image without a table
  // (*from_table then false).
  std::vector<ImagePartition> Partitions(bool* from_table);
  // Up to `length` bytes at `offset` of the image; how many were read.
  size_t ReadAt(uint64_t offset, void* buffer, size_t length);
  // The NTFS volume at `offset`, or null when there is none.
  std::shared_ptr<NtfsVolume> OpenNtfs(uint64_t offset);

  std::mutex& lock() { return lock_; }
  // The library the image was opened with, for the volumes and files in it.
  const TskLibrary& tsk() const { return tsk_; }

 private:
  TskImage(const TskLibrary& tsk, TSK_IMG_INFO* image);
  const TskLibrary& tsk_;
  TSK_IMG_INFO* image_;
  uint64_t size_;
  std::mutex lock_;
};

// An NTFS volume's files: paths below `mount_point` name its files. Only
// allocated entries are listed; file sizes are believed up to a bound made
// from the image's size, so a damaged entry cannot promise endless bytes.
class NtfsVolume final : public FileSource,
                         public std::enable_shared_from_this<NtfsVolume> {
 public:
  NtfsVolume(std::shared_ptr<TskImage> image, TSK_FS_INFO* volume);
  ~NtfsVolume() override;
  NtfsVolume(const NtfsVolume&) = delete;
  NtfsVolume& operator=(const NtfsVolume&) = delete;

  // Paths from now on are taken relative to `mount_point`.
  void set_mount_point(std::filesystem::path mount_point) { mount_point_ = std::move(mount_point); }
  // The bytes the volume says it spans.
  uint64_t length() const { return length_; }

  // Entries of a folder named by its path inside the volume ("/" for the top).
  std::vector<DirEntry> ListInside(const std::string& inside) const;
  // True when `inside` names a regular file of the volume.
  bool HasFile(const std::string& inside) const;

  std::vector<DirEntry> List(const std::filesystem::path& directory) const override;
  std::unique_ptr<RandomAccessFile> Open(const std::filesystem::path& path,
                                         int* error_number) const override;

 private:
  // The volume path for `path` below the mount point; empty when outside.
  std::string Inside(const std::filesystem::path& path) const;
  std::unique_ptr<RandomAccessFile> OpenInside(const std::string& inside, int* error_number) const;

  std::shared_ptr<TskImage> image_;
  TSK_FS_INFO* volume_;
  uint64_t length_ = 0;
  std::filesystem::path mount_point_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_DISK_IMAGE_TSK_VOLUME_H_
