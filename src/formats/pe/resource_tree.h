// The resource directory tree of a PE image (.rsrc, data directory 2), walked
// as the three levels Windows uses: type -> name or id -> language. The walk
// is iterative with a fixed depth and refuses a directory that names one of
// its ancestors, so damaged files end in an error rather than a loop.
//
// Layout: directory = 16-byte header (named count u16 @12, id count u16 @14)
// + 8-byte entries {name-or-id u32, offset u32}. Bit 31 of name-or-id marks an
// offset to {u16 length, UTF-16 chars}; bit 31 of offset marks a
// subdirectory, else a 16-byte data entry {RVA, size, code page, reserved}.
// All these offsets count from the start of the resource section data.
//
// Entry points: ResourceId, Resource, ListResources.
#ifndef QRV_FORMATS_PE_RESOURCE_TREE_H_
#define QRV_FORMATS_PE_RESOURCE_TREE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/pe/byte_view.h"
#include "formats/pe/pe_error.h"
#include "formats/pe/pe_image.h"

namespace pe {

// Numeric resource types used by the message readers.
constexpr uint32_t kRtMessageTable = 11;
constexpr std::string_view kTypeWevtTemplate = "WEVT_TEMPLATE";
constexpr std::string_view kTypeMui = "MUI";

// Language ids (LANGID) with a role in language choice.
constexpr uint16_t kLangNeutral = 0x0000;
constexpr uint16_t kLangEnUs = 0x0409;

// Upper bound on the leaves one walk collects. Subdirectories may be shared,
// so the product of three 16-bit entry counts is not bounded by the file size;
// the largest system DLLs hold a few tens of thousands of resources.
constexpr size_t kMaxResources = 1 << 18;

// A type or name: either a number or a string (UTF-8 here).
struct ResourceId {
  bool is_name = false;
  uint32_t id = 0;
  std::string name;

  static ResourceId Id(uint32_t value) { return {false, value, {}}; }
  static ResourceId Name(std::string_view value) {
    return {true, 0, std::string(value)};
  }
  // Names compare without regard to ASCII case, as FindResource does (the
  // resource compiler stores them upper-cased).
  bool Matches(const ResourceId& other) const;
};

struct Resource {
  ResourceId type;
  ResourceId name;
  uint16_t language = 0;
  uint32_t code_page = 0;
  uint32_t rva = 0;
  uint32_t size = 0;
  // The resource bytes; empty with in_file false when the data entry's RVA
  // and size do not lie in the file (the entry is reported, not dropped, so
  // callers can tell "absent" from "damaged").
  Bytes data;
  bool in_file = false;
};

// Collects every leaf of the tree, or only those whose type matches `type`
// when it is given, in directory order. Errors: kNotFound when the image has
// no resource directory; kBadOffset, kTruncated, kLoop, kTooDeep, kTooLarge
// for damage (nothing is returned then).
PeError ListResources(const PeImage& image, const ResourceId* type,
                      std::vector<Resource>* out);

}  // namespace pe

#endif  // QRV_FORMATS_PE_RESOURCE_TREE_H_
