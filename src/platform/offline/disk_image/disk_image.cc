// Opening a disk image and choosing its volume; see disk_image.h.
#include "platform/offline/disk_image/disk_image.h"

#include <cctype>
#include <cstring>
#include <memory>
#include <system_error>

#include "formats/regf/name_text.h"
#include "platform/offline/disk_image/tsk_library.h"
#include "platform/offline/disk_image/tsk_volume.h"
#include "platform/offline/image/file_source.h"

namespace qrv::offline {

namespace fs = std::filesystem;

namespace {

bool IsRegularFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

// An image file, or a disk attached through a write blocker (/dev/sdb).
bool IsImageFile(const fs::path& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  return fs::is_regular_file(status) || fs::is_block_file(status);
}

bool SameName(std::string_view a, std::string_view b) { return regf::NamesEqualIgnoreCase(a, b); }

// The segment a split image is missing: for `disk.001` (or `disk.E01`),
// the first absent number below one that exists. The library finds the
// segments from the first one and stops at a gap; what lies past it would
// be silently left out. Empty when there is no gap.
std::string MissingSegment(const fs::path& first) {
  const std::string ext = first.extension().string();  // ".001", ".E01"
  std::string prefix;
  std::string digits;
  if (ext.size() >= 3 && (ext[1] == 'E' || ext[1] == 'e') &&
      std::isdigit(static_cast<unsigned char>(ext[2]))) {
    prefix = ext.substr(0, 2);
    digits = ext.substr(2);
  } else {
    prefix = ".";
    digits = ext.size() > 1 ? ext.substr(1) : std::string();
  }
  if (digits.empty() || digits.size() > 3) return std::string();
  for (char c : digits) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::string();
  }
  const int start = std::stoi(digits);
  if (start > 1) return std::string();
  auto name_of = [&](int n) {
    std::string text = std::to_string(n);
    if (text.size() < digits.size()) text.insert(0, digits.size() - text.size(), '0');
    fs::path segment = first;
    segment.replace_extension(prefix + text);
    return segment;
  };
  const int limit = digits.size() == 2 ? 99 : 999;
  int last_present = start;
  for (int n = start; n <= limit; ++n) {
    if (IsRegularFile(name_of(n))) last_present = n;
  }
  for (int n = start + 1; n < last_present; ++n) {
    if (!IsRegularFile(name_of(n))) return name_of(n).filename().string();
  }
  return std::string();
}

// Where on a volume the machine's files start, and how well it fits.
enum class Holds { kNothing, kLogs, kDriveWindows, kWindows };

struct Finding {
  Holds holds = Holds::kNothing;
  std::string folder;  // inside the volume: "" for its top, "C", or the logs folder
};

std::string ChildNamed(const NtfsVolume& volume, const std::string& inside, std::string_view name,
                       bool directory) {
  for (const DirEntry& e : volume.ListInside(inside)) {
    if ((directory ? e.is_directory : e.is_regular_file) && SameName(e.name, name)) return e.name;
  }
  return std::string();
}

// The folder `components` inside `base` as spelt on the volume; empty when
// one is missing.
std::string FolderPath(const NtfsVolume& volume, std::string base,
                       std::initializer_list<std::string_view> components) {
  for (std::string_view c : components) {
    const std::string name = ChildNamed(volume, base.empty() ? "/" : base, c, true);
    if (name.empty()) return std::string();
    base += '/' + name;
  }
  return base;
}

bool HasHives(const NtfsVolume& volume, const std::string& base) {
  const std::string config = FolderPath(volume, base, {"Windows", "System32", "config"});
  if (config.empty()) return false;
  return !ChildNamed(volume, config, "SYSTEM", false).empty() ||
         !ChildNamed(volume, config, "SOFTWARE", false).empty();
}

bool HasLogs(const NtfsVolume& volume, const std::string& folder) {
  for (const DirEntry& e : volume.ListInside(folder)) {
    const size_t n = e.name.size();
    if (e.is_regular_file && n > 5 && SameName(std::string_view(e.name).substr(n - 5), ".evtx"))
      return true;
  }
  return false;
}

// Single-letter folders at the volume's top, as triage collections name
// the drives they copy from.
std::vector<std::string> DriveFolders(const NtfsVolume& volume) {
  std::vector<std::string> drives;
  for (const DirEntry& e : volume.ListInside("/")) {
    if (e.is_directory && e.name.size() == 1 && std::isalpha(static_cast<unsigned char>(e.name[0])))
      drives.push_back("/" + e.name);
  }
  return drives;
}

Finding Examine(const NtfsVolume& volume) {
  if (HasHives(volume, "")) return {Holds::kWindows, ""};
  const std::vector<std::string> drives = DriveFolders(volume);
  for (const std::string& drive : drives) {
    if (HasHives(volume, drive)) return {Holds::kDriveWindows, drive};
  }
  std::vector<std::string> bases = {""};
  bases.insert(bases.end(), drives.begin(), drives.end());
  for (const std::string& base : bases) {
    const std::string logs = FolderPath(volume, base, {"Windows", "System32", "winevt", "Logs"});
    if (!logs.empty() && HasLogs(volume, logs)) return {Holds::kLogs, logs};
  }
  return {};
}

bool IsBitLocker(TskImage& image, uint64_t offset) {
  char head[11] = {};
  return image.ReadAt(offset, head, sizeof head) == sizeof head &&
         std::memcmp(head + 3, "-FVE-FS-", 8) == 0;
}

// "@N" at the end of `named` with N a volume number, when the part before
// it is a file and `named` itself is nothing.
bool SplitVolumeNumber(const fs::path& named, fs::path* image, int* number) {
  const std::string text = named.string();
  const size_t at = text.rfind('@');
  if (at == std::string::npos || at + 1 >= text.size() || text.size() - at > 4) return false;
  for (size_t i = at + 1; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  std::error_code ec;
  if (fs::exists(named, ec) || !IsImageFile(text.substr(0, at))) return false;
  *image = text.substr(0, at);
  *number = std::stoi(text.substr(at + 1));
  return true;
}

struct Candidate {
  int number = 0;
  std::shared_ptr<NtfsVolume> volume;
  Finding finding;
  bool cut_short = false;
};

}  // namespace

std::optional<DiskImageRoot> OpenDiskImageRoot(const fs::path& named) {
  fs::path file = named;
  int wanted = 0;
  if (!IsImageFile(named) && !SplitVolumeNumber(named, &file, &wanted)) return std::nullopt;
  DiskImageRoot result;
  result.root = named;
  const std::string missing = MissingSegment(file);
  if (!missing.empty()) {
    result.problem = "is a disk image in segments whose segment '" + missing + "' is missing";
    return result;
  }
  // Any file opens as a raw image: one with no partition table and no NTFS
  // at its start is no disk image at all.
  const std::string not_an_image =
      "is neither a folder nor a disk image that can be read (raw, E01, VHD, VHDX or VMDK), "
      "or it is damaged";
  // Folders never get here: only an image pays for loading the library.
  std::string load_error;
  const TskLibrary* tsk = TskLibrary::OfProcess(&load_error);
  if (tsk == nullptr) {
    result.problem =
        "cannot be read as a disk image: the disk image support library could not be loaded: " +
        load_error;
    return result;
  }
  const std::shared_ptr<TskImage> image = TskImage::Open(*tsk, file);
  if (!image) {
    result.problem = not_an_image;
    return result;
  }
  bool from_table = false;
  const std::vector<ImagePartition> partitions = image->Partitions(&from_table);
  if (wanted != 0 && (wanted < 1 || wanted > partitions.back().number)) {
    result.problem = "names volume " + std::to_string(wanted) + ", but the image has " +
                     std::to_string(partitions.back().number);
    return result;
  }
  std::vector<int> bitlocker;
  std::vector<Candidate> candidates;
  bool any_ntfs = false;
  int cut_short = 0;  // the first NTFS volume that ends past the image
  for (const ImagePartition& part : partitions) {
    if (wanted != 0 && part.number != wanted) continue;
    if (IsBitLocker(*image, part.offset)) {
      bitlocker.push_back(part.number);
      continue;
    }
    std::shared_ptr<NtfsVolume> volume = image->OpenNtfs(part.offset);
    if (!volume) continue;
    any_ntfs = true;
    Candidate c;
    c.number = part.number;
    c.cut_short = part.offset + volume->length() > image->size();
    c.finding = Examine(*volume);
    c.volume = std::move(volume);
    if (c.cut_short && cut_short == 0) cut_short = c.number;
    if (c.finding.holds != Holds::kNothing) candidates.push_back(std::move(c));
  }
  const Candidate* best = nullptr;
  for (const Candidate& c : candidates) {
    if (best == nullptr || c.finding.holds > best->finding.holds) best = &c;
  }
  // Reading a volume the image cuts short would give files with holes.
  if (cut_short != 0 && (best == nullptr || best->cut_short)) {
    result.problem = "is a disk image that ends inside its volume " +
                     std::to_string(best != nullptr ? best->number : cut_short) +
                     ": a segment is missing or the image is cut short";
    return result;
  }
  if (best == nullptr) {
    const std::string where =
        wanted != 0 ? "volume " + std::to_string(wanted) + " of the disk image" : "the disk image";
    if (!bitlocker.empty()) {
      result.problem = "is a disk image whose volume " + std::to_string(bitlocker.front()) +
                       " is encrypted with BitLocker (it starts with -FVE-FS-); it must be decrypted first";
    } else if (!any_ntfs && !from_table) {
      result.problem = not_an_image;
    } else if (!any_ntfs) {
      result.problem = "is a disk image, but " + where + " holds no NTFS file system";
    } else {
      result.problem = "is a disk image, but " + where +
                       " holds no Windows (Windows/System32/config) and no Windows/System32/winevt/Logs";
    }
    return result;
  }
  for (const Candidate& c : candidates) {
    if (&c == best || c.finding.holds != best->finding.holds) continue;
    result.other_volumes += (result.other_volumes.empty() ? "" : ", ") + std::to_string(c.number);
  }
  best->volume->set_mount_point(named.lexically_normal());
  MountFileSource(named, best->volume);
  result.root = named.lexically_normal();
  if (!best->finding.folder.empty()) result.root /= fs::path(best->finding.folder).relative_path();
  if (!result.other_volumes.empty()) {
    result.other_volumes = "volume " + std::to_string(best->number) +
                           " is read; other volumes holding the same: " + result.other_volumes;
  }
  return result;
}

}  // namespace qrv::offline
