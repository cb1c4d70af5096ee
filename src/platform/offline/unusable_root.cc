// The reason a root gave no machine; see unusable_root.h.
#include "platform/offline/unusable_root.h"

#include <system_error>

namespace qrv::offline {

namespace fs = std::filesystem;

std::string UnusableRootReason(const fs::path& root) {
  std::error_code ec;
  const fs::file_status status = fs::status(root, ec);
  if (status.type() == fs::file_type::not_found) return "does not exist";
  if (ec) return "cannot be examined: " + ec.message();
  if (!fs::is_directory(status)) return "is not a folder";
  // Listing is what the image needs; a folder without read or search
  // permission fails here.
  fs::directory_iterator listing(root, ec);
  if (ec) return "cannot be read: " + ec.message();
  return "holds neither Windows/System32/config/SYSTEM or SOFTWARE nor .evtx files";
}

namespace {

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return text;
}

}  // namespace

std::string UnusableRootLine(const fs::path& root) {
  return UnusableRootLine(root, UnusableRootReason(root));
}

std::string UnusableRootLine(const fs::path& root, const std::string& reason) {
  return "QRV_EventLog_Tools: QRV_EVENTLOG_ROOT '" + OneLine(root.string()) + "' " +
         OneLine(reason) + "; answering as a computer without event logs\n";
}

std::string DiskImageNoticeLine(const fs::path& root, const std::string& what) {
  return "QRV_EventLog_Tools: QRV_EVENTLOG_ROOT '" + OneLine(root.string()) + "': " +
         OneLine(what) + " (add @N to the image's name to read volume N)\n";
}

}  // namespace qrv::offline
