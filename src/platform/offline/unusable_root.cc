// The reason a root gave no machine; see unusable_root.h.
#include "platform/offline/unusable_root.h"

#include <system_error>

#include "platform/offline/notice.h"

namespace qrv::offline {

namespace fs = std::filesystem;

std::string UnusableRootReason(const fs::path& root) {
  if (root.empty()) return "is empty";
  std::error_code ec;
  const fs::file_status status = fs::status(root, ec);
  if (status.type() == fs::file_type::not_found) return "does not exist";
  if (ec) return "cannot be examined: " + ec.message();
  if (!fs::is_directory(status)) return "is not a folder";
  // Listing is what the image needs; a folder without read or search
  // permission fails here.
  fs::directory_iterator listing(root, ec);
  if (ec) return "cannot be read: " + ec.message();
  return "holds neither Windows/System32/config/SYSTEM or SOFTWARE nor .evtx or .evt files";
}

std::string UnusableRootLine(const fs::path& root) {
  if (root.empty()) {
    return NoticeLine(
        "QRV_EVENTLOG_ROOT is set but empty; answering as a computer without "
        "event logs");
  }
  return UnusableRootLine(root, UnusableRootReason(root));
}

std::string UnusableRootLine(const fs::path& root, const std::string& reason) {
  return NoticeLine("QRV_EVENTLOG_ROOT '" + root.string() + "' " + reason +
                    "; answering as a computer without event logs");
}

std::string DiskImageNoticeLine(const fs::path& root, const std::string& what) {
  return NoticeLine("QRV_EVENTLOG_ROOT '" + root.string() + "': " + what +
                    " (add @N to the image's name to read volume N)");
}

}  // namespace qrv::offline
