// Keys of an image's registry written as a .reg file (the format regedit
// exports and `reg import` reads), so a Wine prefix can hold the same
// event-log keys as the image the offline service reads.
// Entry point: ExportRegFile.
#ifndef QRV_TESTS_WINDOWS_REG_EXPORT_H_
#define QRV_TESTS_WINDOWS_REG_EXPORT_H_

#include <string>
#include <string_view>
#include <vector>

#include "platform/offline/image/registry_tree.h"

namespace qrv::offline {

// The .reg text (UTF-16, CR LF lines, no byte-order mark) of the keys at
// `paths` under HKEY_LOCAL_MACHINE and everything below them, values in
// stored order: REG_SZ as a quoted string when it can be one, REG_DWORD as
// dword:, every other value as hex bytes of its type. A path the tree does
// not have is left out.
std::u16string ExportRegFile(const RegistryTree& tree, const std::vector<std::string>& paths);

}  // namespace qrv::offline

#endif  // QRV_TESTS_WINDOWS_REG_EXPORT_H_
