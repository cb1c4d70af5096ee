// PE header and section table reader.
#include "formats/pe/pe_image.h"

namespace pe {
namespace {

constexpr uint32_t kLfanewOffset = 0x3C;
constexpr uint32_t kCoffHeaderSize = 20;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kSectionHeaderSize = 40;
// The optional header declares up to 16 directories; anything larger is
// damage, and Windows itself ignores entries past 16.
constexpr uint32_t kMaxDataDirectories = 16;

}  // namespace

PeError PeImage::Parse(Bytes file, PeImage* out) {
  *out = PeImage();
  const ByteView view(file);
  uint16_t mz = 0;
  if (!view.U16(0, &mz)) return PeError::kTruncated;
  if (mz != 0x5A4D) return PeError::kBadSignature;  // "MZ"
  uint32_t lfanew = 0;
  if (!view.U32(kLfanewOffset, &lfanew)) return PeError::kTruncated;
  uint32_t signature = 0;
  if (!view.U32(lfanew, &signature)) return PeError::kTruncated;
  if (signature != 0x00004550) return PeError::kBadSignature;  // "PE\0\0"

  const uint64_t coff = static_cast<uint64_t>(lfanew) + 4;
  if (!view.Has(coff, kCoffHeaderSize)) return PeError::kTruncated;
  PeImage image;
  image.file_ = view;
  uint16_t section_count = 0;
  uint16_t optional_size = 0;
  view.U16(coff, &image.machine_);
  view.U16(coff + 2, &section_count);
  view.U16(coff + 16, &optional_size);

  const uint64_t optional = coff + kCoffHeaderSize;
  if (!view.Has(optional, optional_size)) return PeError::kTruncated;
  const ByteView opt = view.Sub(optional, optional_size);
  uint16_t magic = 0;
  if (!opt.U16(0, &magic)) return PeError::kBadHeader;
  uint64_t count_at = 0;
  if (magic == kMagicPe32) {
    count_at = 92;
  } else if (magic == kMagicPe32Plus) {
    count_at = 108;
    image.pe32_plus_ = true;
  } else {
    return PeError::kBadHeader;
  }
  uint32_t directory_count = 0;
  if (!opt.U32(count_at, &directory_count)) return PeError::kBadHeader;
  if (directory_count > kMaxDataDirectories) {
    directory_count = kMaxDataDirectories;
  }
  // Directories that do not fit in the declared optional header are treated
  // as absent rather than read from the section table that follows.
  for (uint32_t i = 0; i < directory_count; ++i) {
    DataDirectory dir;
    const uint64_t at = count_at + 4 + 8ull * i;
    if (!opt.U32(at, &dir.rva) || !opt.U32(at + 4, &dir.size)) break;
    image.directories_.push_back(dir);
  }

  const uint64_t table = optional + optional_size;
  if (!view.Has(table,
                static_cast<uint64_t>(section_count) * kSectionHeaderSize)) {
    return PeError::kTruncated;
  }
  image.sections_.reserve(section_count);
  for (uint32_t i = 0; i < section_count; ++i) {
    const uint64_t at = table + static_cast<uint64_t>(i) * kSectionHeaderSize;
    Section s;
    for (uint32_t k = 0; k < 8; ++k) {
      uint8_t c = 0;
      view.U8(at + k, &c);
      if (c == 0) break;
      s.name.push_back(static_cast<char>(c));
    }
    view.U32(at + 8, &s.virtual_size);
    view.U32(at + 12, &s.virtual_address);
    view.U32(at + 16, &s.raw_size);
    view.U32(at + 20, &s.raw_offset);
    image.sections_.push_back(s);
  }
  *out = std::move(image);
  return PeError::kOk;
}

DataDirectory PeImage::Directory(uint32_t index) const {
  if (index >= directories_.size()) return DataDirectory();
  return directories_[index];
}

const Section* PeImage::SectionForRva(uint32_t rva) const {
  for (const Section& s : sections_) {
    // A zero virtual size means the loader uses the raw size instead.
    const uint64_t span = s.virtual_size != 0 ? s.virtual_size : s.raw_size;
    if (rva >= s.virtual_address &&
        rva - static_cast<uint64_t>(s.virtual_address) < span) {
      return &s;
    }
  }
  return nullptr;
}

bool PeImage::BytesFromRva(uint32_t rva, Bytes* out) const {
  const Section* s = SectionForRva(rva);
  if (s == nullptr) return false;
  const uint64_t delta = rva - s->virtual_address;
  if (delta >= s->raw_size) return false;
  const uint64_t start = static_cast<uint64_t>(s->raw_offset) + delta;
  if (start >= file_.size()) return false;
  uint64_t length = s->raw_size - delta;
  if (length > file_.size() - start) length = file_.size() - start;
  *out = file_.bytes().subspan(start, length);
  return true;
}

bool PeImage::BytesAtRva(uint32_t rva, uint32_t size, Bytes* out) const {
  Bytes rest;
  if (!BytesFromRva(rva, &rest) || size > rest.size()) return false;
  *out = rest.first(size);
  return true;
}

}  // namespace pe
