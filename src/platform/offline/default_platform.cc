// MakeDefaultPlatform off Windows: the POSIX system calls with the offline
// event-log service and registry, writing to standard output. When
// QRV_EVENTLOG_ROOT names a folder, that folder is the machine (see
// offline/image/image.h): its registry, and the event-log service over its
// logs with the messages of its registered providers. Without it the built-in
// sample image beside the program is the machine, which standard error says
// on every run, so that its made-up events are never taken for evidence;
// without that, an image of no folder at all, which is a machine with no
// logs: one offline machine in every case, so "no logs" has one set of
// answers. A named root that gives no machine (an empty value included) is
// also named on standard error, one line, and the tool answers as a machine
// with no logs. A root that names a disk image file is read through its
// Windows volume (disk_image/disk_image.h). QRV_EVENTLOG_MESSAGES names
// message databases (':'
// between paths, earlier first) asked for what the image's message files
// leave open, a folder there standing for its databases nearest the
// machine's Windows build first; a file that cannot serve is named on
// standard error, once, and the run goes on without it. A query the service
// refuses is explained on standard error, one line each. When standard error
// is a terminal, the service's reading is shown there on a progress line
// (progress_line.h).
#include "platform/default_platform.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "platform/offline/disk_image/disk_image.h"
#include "platform/offline/image/evt_log_file.h"
#include "platform/offline/image/evtx_summary.h"
#include "platform/offline/image/image.h"
#include "platform/offline/message_db/message_databases.h"
#include "platform/offline/messages/file_access.h"
#include "platform/offline/messages/message_catalog.h"
#include "platform/offline/notice.h"
#include "platform/offline/posix_system.h"
#include "platform/offline/progress_line.h"
#include "platform/offline/sample_image_location.h"
#include "platform/offline/service/offline_event_log.h"
#include "platform/offline/unusable_root.h"

namespace qrv {
namespace {

// The machine's Windows build, for ordering a folder of databases: from the
// image's SOFTWARE hive, else from the System log's newest 6009 event. Sets
// *source to where it came from.
std::optional<offline::WindowsBuild> MachineBuild(offline::Image& image,
                                                  std::string* source) {
  if (auto build = offline::ReadWindowsBuild(image.registry())) {
    *source = "SOFTWARE hive";
    return build;
  }
  if (auto system = image.LookupChannel("System")) {
    if (auto build = offline::BuildFromSystemLog(system->files)) {
      *source = "System log, event 6009";
      return build;
    }
  }
  return std::nullopt;
}

// The databases QRV_EVENTLOG_MESSAGES names, or null when it names none.
// With QRV_EVENTLOG_MESSAGES_VERBOSE set, the order they are asked in goes
// to standard error, once.
offline::MessageDatabases* OpenMessageDatabases(offline::Image& image) {
  const char* list = std::getenv("QRV_EVENTLOG_MESSAGES");
  if (list == nullptr || *list == '\0') return nullptr;
  std::vector<std::string> warnings;
  std::optional<offline::WindowsBuild> machine;
  std::string source;
  bool asked = false;
  std::unique_ptr<offline::MessageDatabases> databases =
      offline::MessageDatabases::Open(list, &warnings, [&] {
        asked = true;
        machine = MachineBuild(image, &source);
        return machine;
      });
  for (const std::string& warning : warnings) {
    std::cerr << offline::NoticeLine("QRV_EVENTLOG_MESSAGES: skipped " +
                                     warning);
  }
  if (const char* verbose = std::getenv("QRV_EVENTLOG_MESSAGES_VERBOSE");
      verbose != nullptr && *verbose != '\0') {
    std::string line = "QRV_EVENTLOG_MESSAGES: ";
    if (machine) {
      line += "machine build " + std::to_string(machine->build);
      if (machine->ubr != 0) line += "." + std::to_string(machine->ubr);
      line += " (" + source + "); ";
    } else if (asked) {
      line += "machine build unknown, newest database first; ";
    }
    line += "asked in this order:";
    const auto& order = databases->order();
    for (size_t i = 0; i < order.size(); ++i) {
      line += (i == 0 ? " " : ", ") + order[i];
    }
    if (order.empty()) line += " none";
    std::cerr << offline::NoticeLine(line);
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
  // current folder). A variable set to nothing names a root, one that cannot
  // be used: a script whose case variable is unset must not read the sample.
  std::filesystem::path root;
  bool root_named = false;
  bool sample_used = false;
  std::optional<offline::DiskImageRoot> disk;
  if (const char* named = std::getenv("QRV_EVENTLOG_ROOT"); named != nullptr) {
    root = named;
    root_named = true;
    disk = offline::OpenDiskImageRoot(root);
    if (disk) root = disk->root;
  } else if (auto sample = offline::FindSampleImageOfThisProgram()) {
    root = *sample;
    sample_used = true;
  }
  static offline::Image* const image =
      new offline::Image(root, offline::SummarizeLogFile);
  if (disk && !disk->problem.empty()) {
    std::cerr << offline::UnusableRootLine(root, disk->problem) << std::flush;
  } else if (disk && !disk->other_volumes.empty()) {
    std::cerr << offline::DiskImageNoticeLine(root, disk->other_volumes) << std::flush;
  } else if (root_named && (root.empty() ||
                            image->layout() == offline::ImageLayout::kEmpty)) {
    std::cerr << offline::UnusableRootLine(root) << std::flush;
  }
  if (sample_used) std::cerr << offline::kSampleImageLine << std::flush;
  static offline::PathResolver* const files =
      new offline::PathResolver(image->root());
  static offline::HostFileLoader* const loader = new offline::HostFileLoader();
  static offline::MessageDatabases* const databases =
      OpenMessageDatabases(*image);
  static offline::MessageCatalog* const messages = new offline::MessageCatalog(
      image->registry(),
      [](std::string_view windows_path) -> std::optional<std::string> {
        auto path = files->ResolveWindowsPath(windows_path);
        if (!path) return std::nullopt;
        return path->string();
      },
      *loader, databases);
  // Counted only for a progress line on a terminal; the command's output
  // then stops the line before its first byte if it goes to a terminal too.
  static offline::ReadProgress* const progress = new offline::ReadProgress();
  const bool progress_shown = StartProgressLine(STDERR_FILENO, *progress);
  static std::ostream* const out =
      progress_shown && isatty(STDOUT_FILENO) == 1
          ? StopProgressLineOnOutput(std::cout)
          : &std::cout;
  static offline::OfflineEventLog* const service = new offline::OfflineEventLog(
      offline::QuerySources{
          [](std::string_view name) { return image->LookupChannel(name); },
          image->root(),
          [](std::string_view windows_path) {
            return files->ResolveWindowsPath(windows_path);
          },
          [] {
            std::vector<std::string> names;
            for (const auto& channel : image->Channels()) {
              names.push_back(channel.name);
            }
            return names;
          },
          progress_shown ? progress : nullptr},
      *system, *messages);
  // A refused query is explained on standard error, one line.
  service->set_diagnostics(&std::cerr);
  // Each command puts its own metadata cache in front (ScopedMetadataCache).
  return Platform{service, &image->registry(), system, out};
}

}  // namespace qrv
