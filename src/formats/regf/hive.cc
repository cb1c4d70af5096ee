// Base block validation, the bin index and checked cell access. See hive.h.
#include "formats/regf/hive.h"

#include <algorithm>

#include "formats/regf/hive_layout.h"
#include "formats/regf/le_bytes.h"

namespace regf {
namespace {

using namespace layout;

// Oldest layout read here: NT 3.x hives (minor < 2) put 4 more bytes in
// front of nk and vk fields.
constexpr uint32_t kMinMinorVersion = 2;

uint32_t BaseBlockChecksum(std::span<const uint8_t> base) {
  uint32_t sum = 0;
  for (uint32_t off = 0; off < kChecksumOffset; off += 4) sum ^= LoadU32(base, off);
  // Windows never stores the two values it uses as "not computed".
  if (sum == 0xFFFFFFFF) return 0xFFFFFFFE;
  if (sum == 0) return 1;
  return sum;
}

}  // namespace

Hive::Hive(const uint8_t* data, size_t size) : bytes_(data, size) {
  if (size < kBaseBlockSize) {
    issues_ |= kIssueTooSmall;
    if (size < 4 || LoadU32(bytes_, 0) != kSignature) issues_ |= kIssueBadSignature;
    return;
  }
  if (LoadU32(bytes_, 0) != kSignature) {
    issues_ |= kIssueBadSignature;
    return;
  }
  minor_version_ = LoadU32(bytes_, kMinorOffset);
  if (LoadU32(bytes_, kMajorOffset) != 1 || minor_version_ < kMinMinorVersion) {
    issues_ |= kIssueUnsupportedVersion;
    return;
  }
  if (LoadU32(bytes_, kFileTypeOffset) != kPrimaryFileType) {
    issues_ |= kIssueNotPrimaryFile;
    return;
  }
  if (BaseBlockChecksum(bytes_) != LoadU32(bytes_, kChecksumOffset)) issues_ |= kIssueBadChecksum;
  if (LoadU32(bytes_, kPrimarySeqOffset) != LoadU32(bytes_, kSecondarySeqOffset)) issues_ |= kIssueDirty;

  // Bins after the declared size are slack (SAM files carry hundreds of KiB
  // of it); bins the file lacks are lost.
  uint64_t available = size - kBaseBlockSize;
  uint32_t declared = LoadU32(bytes_, kBinsSizeOffset);
  if (declared > available) issues_ |= kIssueTruncated;
  uint64_t area = std::min<uint64_t>(declared, available);
  bins_area_ = bytes_.subspan(kBaseBlockSize, static_cast<size_t>(area));
  IndexBins();

  root_offset_ = LoadU32(bytes_, kRootCellOffset);
  if (!Key::At(this, root_offset_)) {
    issues_ |= kIssueBadRoot;
    status_ = HiveStatus::kUnreadable;
    return;
  }
  uint32_t damage = issues_ & ~static_cast<uint32_t>(kIssueDirty);
  status_ = damage ? HiveStatus::kDamaged : HiveStatus::kOk;
}

void Hive::IndexBins() {
  // Walk the chain of bins; after a bad header look for the next "hbin" that
  // names its own offset at a 4096 boundary, so one broken bin does not hide
  // the ones after it. At most one entry per 4096 bytes, so the index is
  // bounded by the file size.
  const uint64_t end = bins_area_.size();
  uint64_t pos = 0;
  while (pos + kBinHeaderSize <= end) {
    auto header = bins_area_.subspan(static_cast<size_t>(pos));
    uint32_t bin_size = LoadU32(header, kBinSizeOffset);
    bool good = LoadU32(header, 0) == kBinSignature && LoadU32(header, kBinOffsetOffset) == pos &&
                bin_size >= kBinAlignment && bin_size % kBinAlignment == 0 && bin_size <= end - pos;
    if (!good) {
      issues_ |= kIssueBadBins;
      pos += kBinAlignment;
      continue;
    }
    bins_.push_back({static_cast<uint32_t>(pos), bin_size});
    pos += bin_size;
  }
  bins_size_ = static_cast<uint32_t>(end);
}

std::span<const uint8_t> Hive::Cell(uint32_t cell_offset) const {
  if (cell_offset % kCellAlignment != 0 || cell_offset >= bins_size_) return {};
  auto after = std::upper_bound(bins_.begin(), bins_.end(), cell_offset,
                                [](uint32_t off, const Bin& bin) { return off < bin.offset; });
  if (after == bins_.begin()) return {};
  const Bin& bin = *(after - 1);
  uint64_t bin_end = static_cast<uint64_t>(bin.offset) + bin.size;
  if (cell_offset < bin.offset + kBinHeaderSize || cell_offset + uint64_t{kCellHeaderSize} > bin_end) return {};
  auto raw_size = static_cast<int32_t>(LoadU32(bins_area_, cell_offset));
  if (raw_size >= 0) return {};  // free cell: whatever it holds is stale
  uint64_t cell_size = static_cast<uint64_t>(-static_cast<int64_t>(raw_size));
  if (cell_size < kCellAlignment || cell_offset + cell_size > bin_end) return {};
  return bins_area_.subspan(cell_offset + kCellHeaderSize, static_cast<size_t>(cell_size - kCellHeaderSize));
}

std::optional<Key> Hive::Root() const {
  if (!readable()) return std::nullopt;
  return Key::At(this, root_offset_);
}

std::optional<Key> Hive::OpenKey(std::string_view path_utf8) const {
  std::optional<Key> root = Root();
  if (!root) return std::nullopt;
  return root->OpenPath(path_utf8);
}

}  // namespace regf
