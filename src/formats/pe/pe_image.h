// PE/COFF image headers as found in a file on disk (not mapped): DOS stub,
// "PE\0\0" header, optional header (PE32 or PE32+), data directories and the
// section table, and the RVA-to-file-offset mapping the resource reader needs.
//
// Layout read: e_lfanew (u32 at 0x3C) -> "PE\0\0", COFF header (20 bytes:
// machine, section count, ..., optional header size @16), optional header
// (magic 0x10B PE32 / 0x20B PE32+; data directory count @92 / @108, then
// directories of 8 bytes each), then 40-byte section headers.
//
// Entry points: PeImage::Parse, PeImage::BytesAtRva, PeImage::Directory.
#ifndef QRV_FORMATS_PE_PE_IMAGE_H_
#define QRV_FORMATS_PE_PE_IMAGE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "formats/pe/byte_view.h"
#include "formats/pe/pe_error.h"

namespace pe {

// Data directory indexes (IMAGE_DIRECTORY_ENTRY_*).
constexpr uint32_t kDirectoryResource = 2;

struct Section {
  std::string name;  // up to 8 bytes, NUL padding removed
  uint32_t virtual_address = 0;
  uint32_t virtual_size = 0;
  uint32_t raw_offset = 0;  // PointerToRawData
  uint32_t raw_size = 0;    // SizeOfRawData
};

struct DataDirectory {
  uint32_t rva = 0;
  uint32_t size = 0;
};

class PeImage {
 public:
  // Reads the headers of `file`, which must outlive the PeImage (only views
  // into it are kept). On error *out is left empty.
  static PeError Parse(Bytes file, PeImage* out);

  bool is_pe32_plus() const { return pe32_plus_; }
  uint16_t machine() const { return machine_; }
  const std::vector<Section>& sections() const { return sections_; }

  // Data directory `index`; {0, 0} when the header has fewer directories.
  DataDirectory Directory(uint32_t index) const;

  // The file bytes holding [rva, rva + size). The range must lie inside the
  // raw data of one section and inside the file; bytes a section maps but does
  // not store (virtual size past raw size) are not file bytes and fail.
  bool BytesAtRva(uint32_t rva, uint32_t size, Bytes* out) const;

  // From rva to the end of its section's raw data (clipped to the file).
  bool BytesFromRva(uint32_t rva, Bytes* out) const;

 private:
  const Section* SectionForRva(uint32_t rva) const;

  ByteView file_;
  bool pe32_plus_ = false;
  uint16_t machine_ = 0;
  std::vector<DataDirectory> directories_;
  std::vector<Section> sections_;
};

}  // namespace pe

#endif  // QRV_FORMATS_PE_PE_IMAGE_H_
