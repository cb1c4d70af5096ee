// A disk image named as the machine's root: raw (split into .001, .002, ...
// or not; or a disk's block device), EnCase .E01, VHD/VHDX or VMDK, read through The Sleuth Kit
// straight from the file, read-only. Its partitions (or the whole image when
// it has no partition table) are searched for the volume to read, the first
// NTFS volume that holds, in this order of preference:
//   1. Windows/System32/config/SYSTEM or SOFTWARE at its top;
//   2. the same under a drive-letter folder (C/Windows/...), as triage
//      collections store the files they gather;
//   3. Windows/System32/winevt/Logs with .evtx files (at its top or under a
//      drive-letter folder), read as a bare folder of logs.
// `<image>@N` reads volume N instead: the Nth partition in table order
// (counting only allocated partitions), 1 for an image without a table.
// The volume is mounted as a FileSource (image/file_source.h) at the path
// the root was named by, and the image layer reads it as it reads a folder.
//
// Entry points: OpenDiskImageRoot, DiskImageRoot.
#ifndef QRV_PLATFORM_OFFLINE_DISK_IMAGE_DISK_IMAGE_H_
#define QRV_PLATFORM_OFFLINE_DISK_IMAGE_DISK_IMAGE_H_

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qrv::offline {

struct DiskImageRoot {
  // The folder the image layer reads: inside the mounted volume, or the
  // named path itself (unmounted, so a machine without logs) on a problem.
  std::filesystem::path root;
  // Why no volume was mounted, as a phrase to follow the path ("is not a
  // disk image ..."); empty on success.
  std::string problem;
  // On success, a phrase naming the other volumes that hold Windows, for a
  // notice; empty when there are none.
  std::string other_volumes;
};

// nullopt when `named` is not a disk image by its name: neither a regular
// file or a block device nor, when nothing exists at `named`, one followed
// by "@N".
// Otherwise opens it and mounts the volume chosen as above.
std::optional<DiskImageRoot> OpenDiskImageRoot(const std::filesystem::path& named);

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_DISK_IMAGE_DISK_IMAGE_H_
