// MakeDefaultPlatform off Windows: the POSIX system calls with the offline
// event-log service and registry, writing to standard output. When
// QRV_EVENTLOG_ROOT names a folder, that folder is the machine (see
// offline/image/image.h): its registry, and the event-log service over its
// logs with the messages of its registered providers. Without it the built-in
// sample image beside the program is the machine; without that, an image of
// no folder at all, which is a machine with no logs: one offline machine in
// every case, so "no logs" has one set of answers. A named root that gives no
// machine is also named on standard error, one line, and the tool answers as
// a machine with no logs. QRV_EVENTLOG_MESSAGES names message databases (':'
// between paths, earlier first) asked for what the image's message files
// leave open; a file that cannot serve is named on standard error, once, and
// the run goes on without it.
#include "platform/default_platform.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "platform/offline/image/evt_log_file.h"
#include "platform/offline/image/evtx_summary.h"
#include "platform/offline/image/image.h"
#include "platform/offline/message_db/message_databases.h"
#include "platform/offline/messages/file_access.h"
#include "platform/offline/messages/message_catalog.h"
#include "platform/offline/posix_system.h"
#include "platform/offline/sample_image_location.h"
#include "platform/offline/service/offline_event_log.h"
#include "platform/offline/unusable_root.h"

namespace qrv {
namespace {

// The databases QRV_EVENTLOG_MESSAGES names, or null when it names none.
offline::MessageDatabases* OpenMessageDatabases() {
  const char* list = std::getenv("QRV_EVENTLOG_MESSAGES");
  if (list == nullptr || *list == '\0') return nullptr;
  std::vector<std::string> warnings;
  std::unique_ptr<offline::MessageDatabases> databases =
      offline::MessageDatabases::Open(list, &warnings);
  for (const std::string& warning : warnings) {
    std::cerr << "QRV_EVENTLOG_MESSAGES: skipped " << warning << '\n';
  }
  if (databases->size() == 0) return nullptr;
  return databases.release();  // lives as long as the catalogue: for good
}

}  // namespace

Platform MakeDefaultPlatform() {
  // Never destroyed: the console control thread may use them while the
  // main thread runs the static destructors of a normal exit.
  static PosixSystem* const system = new PosixSystem();
  // The machine: the folder QRV_EVENTLOG_ROOT names, else the sample image
  // built and installed beside the program, else no folder (an empty path:
  // no keys and no logs; a relative file:// path is then taken from the
  // current folder).
  std::filesystem::path root;
  bool root_named = false;
  if (const char* named = std::getenv("QRV_EVENTLOG_ROOT");
      named != nullptr && *named != '\0') {
    root = named;
    root_named = true;
  } else if (auto sample = offline::FindSampleImageOfThisProgram()) {
    root = *sample;
  }
  static offline::Image* const image =
      new offline::Image(root, offline::SummarizeLogFile);
  if (root_named && image->layout() == offline::ImageLayout::kEmpty) {
    std::cerr << offline::UnusableRootLine(root) << std::flush;
  }
  static offline::PathResolver* const files =
      new offline::PathResolver(image->root());
  static offline::HostFileLoader* const loader = new offline::HostFileLoader();
  static offline::MessageDatabases* const databases = OpenMessageDatabases();
  static offline::MessageCatalog* const messages = new offline::MessageCatalog(
      image->registry(),
      [](std::string_view windows_path) -> std::optional<std::string> {
        auto path = files->ResolveWindowsPath(windows_path);
        if (!path) return std::nullopt;
        return path->string();
      },
      *loader, databases);
  static offline::OfflineEventLog* const service = new offline::OfflineEventLog(
      offline::QuerySources{
          [](std::string_view name) { return image->LookupChannel(name); },
          image->root(),
          [](std::string_view windows_path) {
            return files->ResolveWindowsPath(windows_path);
          }},
      *system, *messages);
  // Each command puts its own metadata cache in front (ScopedMetadataCache).
  return Platform{service, &image->registry(), system, &std::cout};
}

}  // namespace qrv
