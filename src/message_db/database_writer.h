// Writes message-database rows into a file of the shared two-table schema
// (see platform/offline/message_db/message_database.h), adding to what an
// existing file holds. Atomic: the rows go into a copy made beside the
// target (or a new file), in one transaction, and the copy replaces the
// target by a rename at the end, so an interrupted run leaves the earlier
// file as it was.
//
// A row is added unless the file already has the same provider (ignoring
// ASCII case), key and text; a provider new to the file gets a providers row.
//
// Entry points: WriteResult, WriteMessageDatabase.
#ifndef QRV_MESSAGE_DB_DATABASE_WRITER_H_
#define QRV_MESSAGE_DB_DATABASE_WRITER_H_

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "message_db/catalogue_export.h"
#include "platform/offline/message_db/windows_build.h"

namespace qrv::message_db {

struct WriteResult {
  bool ok = false;
  std::string error;  // one line, when !ok
  size_t providers_added = 0;
  size_t messages_added = 0;
};

// `build`, when known, goes into the windows_build table (created when
// missing) unless the file already records one: a file holds the build it
// was first written from.
WriteResult WriteMessageDatabase(
    const std::filesystem::path& target, const std::vector<ExportRow>& rows,
    const std::optional<offline::WindowsBuild>& build = std::nullopt);

}  // namespace qrv::message_db

#endif  // QRV_MESSAGE_DB_DATABASE_WRITER_H_
