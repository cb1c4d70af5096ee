// The message-related resources of one PE file, found through its resource
// tree: the message table in the preferred language, the WEVT_TEMPLATE
// manifest, and the MUI resource that says whether the messages live in a
// separate language file. Still bytes-in: the caller reads the files.
//
// Entry points: PickLanguage, LoadMessageTable, LoadWevtManifest,
// LoadMuiResource, MessagesInMuiFile.
#ifndef QRV_FORMATS_PE_MESSAGE_RESOURCES_H_
#define QRV_FORMATS_PE_MESSAGE_RESOURCES_H_

#include <cstdint>
#include <vector>

#include "formats/pe/message_table.h"
#include "formats/pe/mui_resource.h"
#include "formats/pe/pe_error.h"
#include "formats/pe/pe_image.h"
#include "formats/pe/resource_tree.h"
#include "formats/pe/wevt_manifest.h"

namespace pe {

// Index into `languages` of the one to use: `wanted`, then en-US (0x409),
// then neutral (0), then the first. Requires a non-empty list.
size_t PickLanguage(const std::vector<uint16_t>& languages, uint16_t wanted);

// Parses the image's RT_MESSAGETABLE in the language PickLanguage chooses
// (among the entries of the first name, normally id 1); *language receives
// the LANGID used. kNotFound when the image has no message table; kBadOffset
// when the chosen entry's data lies outside the file.
PeError LoadMessageTable(const PeImage& image, uint16_t wanted,
                         MessageTable* out, uint16_t* language);

// The first WEVT_TEMPLATE resource, parsed. kNotFound when absent.
PeError LoadWevtManifest(const PeImage& image, WevtManifest* out);

// The first "MUI" resource, parsed. kNotFound when absent.
PeError LoadMuiResource(const PeImage& image, MuiResource* out);

// True when the file has no message table of its own and its MUI resource
// lists RT_MESSAGETABLE among the types kept in the language (.mui) file:
// the caller should then read <dir>/<language>/<file name>.mui (language from
// PickMuiLanguage) and look the messages up there. A message table in the
// file itself always wins, as Event Viewer and libevtx do.
bool MessagesInMuiFile(const PeImage& image);

}  // namespace pe

#endif  // QRV_FORMATS_PE_MESSAGE_RESOURCES_H_
