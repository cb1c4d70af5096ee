// Iterative walk of the PE resource directory tree.
#include "formats/pe/resource_tree.h"

#include <array>

#include "formats/ascii.h"
#include "formats/pe/text_encoding.h"

namespace pe {
namespace {

constexpr uint32_t kDirectoryHeaderSize = 16;
constexpr uint32_t kEntrySize = 8;
constexpr uint32_t kDataEntrySize = 16;
constexpr uint32_t kHighBit = 0x80000000u;
// Type, name and language: a subdirectory below the language level is damage.
constexpr int kLevels = 3;

PeError ReadId(ByteView rsrc, uint32_t raw, ResourceId* out) {
  if ((raw & kHighBit) == 0) {
    *out = ResourceId::Id(raw);
    return PeError::kOk;
  }
  const uint32_t at = raw & ~kHighBit;
  uint16_t length = 0;
  if (!rsrc.U16(at, &length)) return PeError::kBadOffset;
  const ByteView chars = rsrc.Sub(at + 2ull, 2ull * length);
  if (chars.size() != 2ull * length) return PeError::kBadOffset;
  *out = ResourceId::Name(Utf16LeToUtf8(chars.bytes(), false));
  return PeError::kOk;
}

// One directory on the walk's stack: where it is, how many entries it has,
// which entry comes next, and the id that led to it.
struct Frame {
  uint32_t offset = 0;
  uint32_t entries = 0;
  uint32_t next = 0;
  ResourceId id;
};

PeError OpenDirectory(ByteView rsrc, uint32_t offset, Frame* frame) {
  uint16_t named = 0;
  uint16_t ids = 0;
  if (!rsrc.U16(offset + 12ull, &named) || !rsrc.U16(offset + 14ull, &ids)) {
    return PeError::kBadOffset;
  }
  frame->offset = offset;
  frame->entries = static_cast<uint32_t>(named) + ids;
  frame->next = 0;
  if (!rsrc.Has(offset + static_cast<uint64_t>(kDirectoryHeaderSize),
                static_cast<uint64_t>(frame->entries) * kEntrySize)) {
    return PeError::kTruncated;
  }
  return PeError::kOk;
}

PeError ReadLeaf(const PeImage& image, ByteView rsrc, uint32_t offset,
                 const std::array<Frame, kLevels>& stack, uint32_t lang_raw,
                 std::vector<Resource>* out) {
  Resource r;
  r.type = stack[1].id;
  r.name = stack[2].id;
  // Language entries are numeric LANGIDs; the upper bits are never used.
  r.language = static_cast<uint16_t>(lang_raw & 0xFFFF);
  if (!rsrc.U32(offset, &r.rva) || !rsrc.U32(offset + 4ull, &r.size) ||
      !rsrc.U32(offset + 8ull, &r.code_page) ||
      !rsrc.Has(offset, kDataEntrySize)) {
    return PeError::kBadOffset;
  }
  r.in_file = image.BytesAtRva(r.rva, r.size, &r.data);
  if (out->size() >= kMaxResources) return PeError::kTooLarge;
  out->push_back(std::move(r));
  return PeError::kOk;
}

}  // namespace

bool ResourceId::Matches(const ResourceId& other) const {
  if (is_name != other.is_name) return false;
  return is_name ? ascii::EqualsIgnoreCase(name, other.name) : id == other.id;
}

PeError ListResources(const PeImage& image, const ResourceId* type,
                      std::vector<Resource>* out) {
  out->clear();
  const DataDirectory dir = image.Directory(kDirectoryResource);
  if (dir.rva == 0) return PeError::kNotFound;
  Bytes section;
  if (!image.BytesFromRva(dir.rva, &section)) return PeError::kBadOffset;
  const ByteView rsrc(section);

  // stack[0] is the root, stack[1] a type directory, stack[2] a name
  // directory; entries of stack[2] are language leaves.
  std::array<Frame, kLevels> stack;
  int depth = 0;
  PeError error = OpenDirectory(rsrc, 0, &stack[0]);
  if (error != PeError::kOk) return error;
  while (depth >= 0) {
    Frame& frame = stack[depth];
    if (frame.next == frame.entries) {
      --depth;
      continue;
    }
    const uint64_t entry = frame.offset +
                           static_cast<uint64_t>(kDirectoryHeaderSize) +
                           static_cast<uint64_t>(frame.next) * kEntrySize;
    ++frame.next;
    uint32_t raw_id = 0;
    uint32_t target = 0;
    rsrc.U32(entry, &raw_id);  // in range: checked by OpenDirectory
    rsrc.U32(entry + 4, &target);
    const bool subdirectory = (target & kHighBit) != 0;
    target &= ~kHighBit;

    if (depth == kLevels - 1) {
      if (subdirectory) {
        out->clear();  // leaves read before the damage are not returned
        return PeError::kTooDeep;
      }
      error = ReadLeaf(image, rsrc, target, stack, raw_id, out);
      if (error != PeError::kOk) {
        out->clear();
        return error;
      }
      continue;
    }
    // A data entry above the language level has no type/name/language
    // meaning; Windows' lookup never reaches it, so it is passed over.
    if (!subdirectory) continue;
    for (int k = 0; k <= depth; ++k) {
      if (stack[k].offset == target) {
        out->clear();
        return PeError::kLoop;
      }
    }
    ResourceId id;
    error = ReadId(rsrc, raw_id, &id);
    if (error == PeError::kOk && depth == 0 && type != nullptr &&
        !type->Matches(id)) {
      continue;
    }
    if (error == PeError::kOk)
      error = OpenDirectory(rsrc, target, &stack[depth + 1]);
    if (error != PeError::kOk) {
      out->clear();
      return error;
    }
    stack[depth + 1].id = std::move(id);
    ++depth;
  }
  return PeError::kOk;
}

}  // namespace pe
