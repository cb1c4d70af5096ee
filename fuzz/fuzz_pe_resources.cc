// Fuzz target for the PE resource reader: headers, the whole resource tree,
// then every MESSAGETABLE, WEVT_TEMPLATE and MUI resource found, both directly
// and through the loaders the publisher catalogue calls.
//
// Entry point: LLVMFuzzerTestOneInput.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/pe/byte_view.h"
#include "formats/pe/message_resources.h"
#include "formats/pe/message_table.h"
#include "formats/pe/mui_resource.h"
#include "formats/pe/pe_image.h"
#include "formats/pe/resource_tree.h"
#include "formats/pe/wevt_manifest.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/message_table_reads.h"
#include "fuzz/wevt_manifest_reads.h"

namespace {

void ReadResource(const pe::Resource& resource) {
  if (!resource.in_file) {
    QRV_FUZZ_CHECK(resource.data.empty());
    return;
  }
  QRV_FUZZ_CHECK(resource.data.size() == resource.size);
  if (resource.type.Matches(pe::ResourceId::Id(pe::kRtMessageTable))) {
    pe::MessageTable table;
    if (pe::MessageTable::Parse(resource.data, &table) == pe::PeError::kOk) {
      qrv_fuzz::ReadMessageTable(table);
    }
  } else if (resource.type.Matches(pe::ResourceId::Name(pe::kTypeWevtTemplate))) {
    pe::WevtManifest manifest;
    if (pe::ParseWevtManifest(resource.data, &manifest) == pe::PeError::kOk) {
      qrv_fuzz::ReadWevtManifest(resource.data, manifest);
    }
  } else if (resource.type.Matches(pe::ResourceId::Name(pe::kTypeMui))) {
    pe::MuiResource mui;
    if (pe::ParseMuiResource(resource.data, &mui) == pe::PeError::kOk) {
      pe::PickMuiLanguage({"de-DE", mui.language, "en-GB"}, "fr-FR", mui.fallback_language);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pe::PeImage image;
  if (pe::PeImage::Parse(pe::Bytes(data, size), &image) != pe::PeError::kOk) return 0;
  std::vector<pe::Resource> resources;
  if (pe::ListResources(image, nullptr, &resources) == pe::PeError::kOk) {
    QRV_FUZZ_CHECK(resources.size() <= pe::kMaxResources);
    for (const pe::Resource& resource : resources) ReadResource(resource);
    const pe::ResourceId type = pe::ResourceId::Id(pe::kRtMessageTable);
    std::vector<pe::Resource> tables;
    QRV_FUZZ_CHECK(pe::ListResources(image, &type, &tables) == pe::PeError::kOk);
    QRV_FUZZ_CHECK(tables.size() <= resources.size());
  } else {
    QRV_FUZZ_CHECK(resources.empty());
  }

  pe::MessageTable table;
  uint16_t language = 0;
  if (pe::LoadMessageTable(image, pe::kLangEnUs, &table, &language) == pe::PeError::kOk) {
    qrv_fuzz::ReadMessageTable(table);
  }
  pe::WevtManifest manifest;
  pe::LoadWevtManifest(image, &manifest);
  pe::MuiResource mui;
  pe::LoadMuiResource(image, &mui);
  pe::MessagesInMuiFile(image);
  return 0;
}
