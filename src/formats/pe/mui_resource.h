// Reader of the "MUI" resource that ties a language-neutral PE file to its
// per-language resource files (<dir>/<language>/<file>.mui), plus the choice
// of language folder. File I/O stays with the caller: it lists the language
// folders that hold <file>.mui, asks PickMuiLanguage, and opens that file.
//
// Layout (offsets in the resource): 0 signature 0xFECDFECD, 4 size,
// 8 version, 16 file type (0x11 language-neutral, 0x12 language file), then
// {offset u32, size u32} pairs at 84 main name types, 92 main id types,
// 100 MUI name types, 108 MUI id types, 116 language, 124 ultimate fallback
// language. Name lists and languages are NUL-separated UTF-16; id lists are
// u32 arrays. "MUI id types" lists the resource types that live in the .mui.
//
// Entry points: MuiResource, ParseMuiResource, PickMuiLanguage.
#ifndef QRV_FORMATS_PE_MUI_RESOURCE_H_
#define QRV_FORMATS_PE_MUI_RESOURCE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/pe/byte_view.h"
#include "formats/pe/pe_error.h"

namespace pe {

constexpr uint32_t kMuiFileTypeNeutral = 0x11;
constexpr uint32_t kMuiFileTypeLanguage = 0x12;

struct MuiResource {
  uint32_t version = 0;
  uint32_t file_type = 0;
  std::vector<std::string> main_name_types;
  std::vector<uint32_t> main_id_types;
  std::vector<std::string> mui_name_types;
  std::vector<uint32_t> mui_id_types;
  std::string language;           // e.g. "en-US" in a .mui; empty in LN files
  std::string fallback_language;  // ultimate fallback, e.g. "en-US"
};

// Errors: kTruncated, kBadSignature, kBadOffset (a list outside the resource).
PeError ParseMuiResource(Bytes blob, MuiResource* out);

// Picks a language folder from `available` (folder names such as "en-US",
// "de-DE"): `wanted` if given and present, then "en-US", then the file's
// ultimate fallback language, then any English ("en-*"), then the first name
// in the list. Names compare without regard to ASCII case, as Windows paths
// do. nullopt only when the list is empty.
std::optional<std::string> PickMuiLanguage(
    const std::vector<std::string>& available, std::string_view wanted,
    std::string_view fallback_language);

}  // namespace pe

#endif  // QRV_FORMATS_PE_MUI_RESOURCE_H_
