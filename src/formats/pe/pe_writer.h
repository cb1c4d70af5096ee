// Writer of a minimal PE DLL image whose only section is .rsrc, holding the
// resources given: enough for LoadLibraryEx(LOAD_LIBRARY_AS_DATAFILE) and
// for this folder's readers. Used by tests and to generate the sample image;
// not part of the tool.
//
// Layout: 64-byte DOS header (e_lfanew = 64, no stub), PE header, optional
// header with 16 data directories, one section header, headers padded to
// 0x200; .rsrc at RVA 0x1000, file offset 0x200. In .rsrc: all directories
// (root, types, names), then data entries, then names, then the data, each
// datum 8-byte aligned. Directory entries are sorted as Windows' binary
// search expects: names first (upper-case order), then ids ascending.
//
// Entry points: WrittenResource, BuildPeImage.
#ifndef QRV_FORMATS_PE_PE_WRITER_H_
#define QRV_FORMATS_PE_PE_WRITER_H_

#include <cstdint>
#include <vector>

#include "formats/pe/resource_tree.h"

namespace pe {

struct WrittenResource {
  ResourceId type;
  ResourceId name;
  uint16_t language = kLangNeutral;
  std::vector<uint8_t> data;
};

enum class PeKind { kPe32Plus, kPe32 };

// The whole file. Resources with the same type, name and language must not
// repeat. kPe32 writes an x86 PE32 image, kPe32Plus an x64 PE32+ one.
std::vector<uint8_t> BuildPeImage(const std::vector<WrittenResource>& resources,
                                  PeKind kind = PeKind::kPe32Plus);

}  // namespace pe

#endif  // QRV_FORMATS_PE_PE_WRITER_H_
