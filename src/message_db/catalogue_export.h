// The message catalogue of an image as message-database rows: what
// qrv_message_db writes. Per registered provider (keys as template_library.h
// lays them out):
//   manifest events    -> one row per distinct (event id, message) of its
//                         definitions with a message, keyed by the event id;
//   classic messages   -> one row per message of its EventMessageFile
//                         tables, keyed kClassicKeyBase + full message id;
//   parameter strings  -> one row per message of its parameter files, keyed
//                         kParameterKeyBase + id.
// Texts are stored unexpanded, as the files hold them (line ends and %n
// included), so that formatting them again gives what the files give.
//
// Entry points: ExportRow, ExportCatalogue.
#ifndef QRV_MESSAGE_DB_CATALOGUE_EXPORT_H_
#define QRV_MESSAGE_DB_CATALOGUE_EXPORT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/offline/messages/message_catalog.h"
#include "platform/offline/messages/template_library.h"

namespace qrv::message_db {

struct ExportRow {
  std::string provider;
  uint64_t key = 0;
  std::string message;
};

// Providers in name order (ignoring case), rows in key order within each.
std::vector<ExportRow> ExportCatalogue(offline::MessageCatalog& catalog);

}  // namespace qrv::message_db

#endif  // QRV_MESSAGE_DB_CATALOGUE_EXPORT_H_
