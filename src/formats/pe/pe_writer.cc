// Minimal PE image writer with a resource section.
#include "formats/pe/pe_writer.h"

#include <algorithm>
#include <string>

#include "formats/pe/byte_writer.h"
#include "formats/pe/text_encoding.h"

namespace pe {
namespace {

constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kRsrcRva = 0x1000;
constexpr uint32_t kHeadersSize = 0x200;
constexpr uint32_t kLfanew = 64;
constexpr uint32_t kDirectoryCount = 16;

std::string Upper(const std::string& s) {
  std::string out = s;
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// Windows' resource order: named entries first, by upper-cased name, then
// numeric ids ascending.
bool IdLess(const ResourceId& a, const ResourceId& b) {
  if (a.is_name != b.is_name) return a.is_name;
  return a.is_name ? Upper(a.name) < Upper(b.name) : a.id < b.id;
}

uint32_t AlignUp(uint32_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// One directory to write: its entries point at child directories (by index
// into the directory list) or at leaves (by resource index).
struct Dir {
  struct Entry {
    ResourceId id;
    bool leaf = false;
    size_t target = 0;
  };
  std::vector<Entry> entries;
  size_t offset = 0;
};

std::vector<uint8_t> BuildRsrc(std::vector<WrittenResource> resources) {
  std::stable_sort(resources.begin(), resources.end(),
                   [](const WrittenResource& a, const WrittenResource& b) {
                     if (!a.type.Matches(b.type)) return IdLess(a.type, b.type);
                     if (!a.name.Matches(b.name)) return IdLess(a.name, b.name);
                     return a.language < b.language;
                   });
  // Directories in breadth-first order: root, type directories, name
  // directories, so every offset is known before any is written.
  std::vector<Dir> dirs(1);
  std::vector<size_t> type_dirs;
  for (size_t i = 0; i < resources.size(); ++i) {
    const WrittenResource& r = resources[i];
    if (i == 0 || !r.type.Matches(resources[i - 1].type)) {
      type_dirs.push_back(dirs.size());
      dirs[0].entries.push_back({r.type, false, dirs.size()});
      dirs.emplace_back();
    }
  }
  size_t type_index = 0;
  for (size_t i = 0; i < resources.size(); ++i) {
    const WrittenResource& r = resources[i];
    const bool new_type = i == 0 || !r.type.Matches(resources[i - 1].type);
    if (new_type && i != 0) ++type_index;
    if (new_type || !r.name.Matches(resources[i - 1].name)) {
      dirs[type_dirs[type_index]].entries.push_back(
          {r.name, false, dirs.size()});
      dirs.emplace_back();
    }
    dirs.back().entries.push_back({ResourceId::Id(r.language), true, i});
  }

  size_t offset = 0;
  for (Dir& d : dirs) {
    d.offset = offset;
    offset += 16 + 8 * d.entries.size();
  }
  const size_t data_entries = offset;
  ByteWriter w;
  w.Zeros(data_entries + 16 * resources.size());
  // Names: {u16 length, UTF-16}; the same id may be written more than once.
  auto put_id = [&w](size_t at, const ResourceId& id) {
    if (!id.is_name) {
      w.PatchU32(at, id.id);
      return;
    }
    w.Align(2);
    w.PatchU32(at, 0x80000000u | static_cast<uint32_t>(w.size()));
    const std::vector<uint8_t> utf16 = Utf8ToUtf16Le(id.name);
    w.U16(static_cast<uint16_t>(utf16.size() / 2));
    w.Append(utf16);
  };
  for (const Dir& d : dirs) {
    uint16_t named = 0;
    for (const Dir::Entry& e : d.entries) named += e.id.is_name ? 1 : 0;
    w.PatchU16(d.offset + 12, named);
    w.PatchU16(d.offset + 14, static_cast<uint16_t>(d.entries.size() - named));
    for (size_t k = 0; k < d.entries.size(); ++k) {
      const Dir::Entry& e = d.entries[k];
      const size_t at = d.offset + 16 + 8 * k;
      put_id(at, e.id);
      const uint32_t target =
          e.leaf ? static_cast<uint32_t>(data_entries + 16 * e.target)
                 : 0x80000000u | static_cast<uint32_t>(dirs[e.target].offset);
      w.PatchU32(at + 4, target);
    }
  }
  for (size_t i = 0; i < resources.size(); ++i) {
    w.Align(8);
    const size_t entry = data_entries + 16 * i;
    w.PatchU32(entry, kRsrcRva + static_cast<uint32_t>(w.size()));
    w.PatchU32(entry + 4, static_cast<uint32_t>(resources[i].data.size()));
    w.Append(resources[i].data);
  }
  return std::move(w.bytes());
}

}  // namespace

std::vector<uint8_t> BuildPeImage(const std::vector<WrittenResource>& resources,
                                  PeKind kind) {
  const bool plus = kind == PeKind::kPe32Plus;
  const std::vector<uint8_t> rsrc = BuildRsrc(resources);
  const uint32_t rsrc_size = static_cast<uint32_t>(rsrc.size());
  const uint32_t raw_size = AlignUp(rsrc_size, kFileAlignment);
  const uint32_t image_size =
      kRsrcRva + AlignUp(std::max<uint32_t>(rsrc_size, 1), kSectionAlignment);

  ByteWriter w;
  w.U16(0x5A4D);  // "MZ"
  w.Zeros(0x3C - 2);
  w.U32(kLfanew);
  w.U32(0x00004550);  // "PE\0\0"
  // COFF header.
  w.U16(plus ? 0x8664 : 0x014C);  // AMD64 / I386
  w.U16(1);                       // sections
  w.U32(0);                       // time stamp: fixed so output is stable
  w.U32(0);
  w.U32(0);
  w.U16(static_cast<uint16_t>((plus ? 112 : 96) + 8 * kDirectoryCount));
  // EXECUTABLE_IMAGE | DLL, plus LARGE_ADDRESS_AWARE or 32BIT_MACHINE.
  w.U16(static_cast<uint16_t>(0x2002 | (plus ? 0x0020 : 0x0100)));
  // Optional header.
  w.U16(plus ? 0x20B : 0x10B);
  w.U8(14);  // linker version
  w.U8(0);
  w.U32(0);         // size of code
  w.U32(raw_size);  // size of initialized data
  w.U32(0);         // size of uninitialized data
  w.U32(0);         // entry point: none, a resource-only DLL
  w.U32(0);         // base of code
  if (plus) {
    w.U64(0x180000000ull);
  } else {
    w.U32(0);  // base of data
    w.U32(0x10000000u);
  }
  w.U32(kSectionAlignment);
  w.U32(kFileAlignment);
  w.U16(6);  // OS version 6.0
  w.U16(0);
  w.U32(0);  // image version
  w.U16(6);  // subsystem version 6.0
  w.U16(0);
  w.U32(0);  // Win32VersionValue
  w.U32(image_size);
  w.U32(kHeadersSize);
  w.U32(0);                      // checksum
  w.U16(2);                      // subsystem: Windows GUI
  w.U16(0x0140);                 // DYNAMIC_BASE | NX_COMPAT
  for (int i = 0; i < 4; ++i) {  // stack/heap reserve and commit
    if (plus) {
      w.U64(0x100000);
    } else {
      w.U32(0x100000);
    }
  }
  w.U32(0);  // loader flags
  w.U32(kDirectoryCount);
  for (uint32_t i = 0; i < kDirectoryCount; ++i) {
    const bool resource = i == 2 && rsrc_size != 0;
    w.U32(resource ? kRsrcRva : 0);
    w.U32(resource ? rsrc_size : 0);
  }
  // Section header.
  for (const char c : {'.', 'r', 's', 'r', 'c', '\0', '\0', '\0'}) {
    w.U8(static_cast<uint8_t>(c));
  }
  w.U32(rsrc_size);
  w.U32(kRsrcRva);
  w.U32(raw_size);
  w.U32(kHeadersSize);
  w.Zeros(12);         // relocations, line numbers and their counts
  w.U32(0x40000040u);  // INITIALIZED_DATA | MEM_READ
  w.Zeros(kHeadersSize - w.size());
  w.Append(rsrc);
  w.Zeros(raw_size - rsrc_size);
  return std::move(w.bytes());
}

}  // namespace pe
