// Writers of the resource blobs the readers in this folder parse: a
// MESSAGETABLE, a WEVT_TEMPLATE (CRIM) manifest and a MUI resource. They
// serve tests and the generated sample image; they are not part of the tool.
//
// Entry points: WrittenMessage, BuildMessageTable, BuildWevtManifest,
// BuildMuiResource.
#ifndef QRV_FORMATS_PE_RESOURCE_WRITER_H_
#define QRV_FORMATS_PE_RESOURCE_WRITER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "formats/pe/message_table.h"
#include "formats/pe/mui_resource.h"
#include "formats/pe/wevt_manifest.h"

namespace pe {

struct WrittenMessage {
  uint32_t id = 0;
  std::string text;  // UTF-8; stored in `encoding` (ANSI = Windows-1252)
  MessageEncoding encoding = MessageEncoding::kUtf16;
};

// One MESSAGE_RESOURCE_DATA: messages sorted by id, each run of consecutive
// ids in its own block, entries NUL-terminated and padded to 4 bytes as the
// message compiler does. Ids must be distinct.
std::vector<uint8_t> BuildMessageTable(std::vector<WrittenMessage> messages);

// A CRIM block holding the providers of `manifest` with their channels,
// levels, opcodes, tasks, keywords and events. Templates are not written, so
// events are written with template offset 0.
std::vector<uint8_t> BuildWevtManifest(const WevtManifest& manifest);

// A MUI resource with the given file type, type lists and languages.
std::vector<uint8_t> BuildMuiResource(const MuiResource& mui);

}  // namespace pe

#endif  // QRV_FORMATS_PE_RESOURCE_WRITER_H_
