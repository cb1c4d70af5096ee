// qrv_message_db IMAGE OUT.db: writes the message catalogue of a Windows
// image (a volume, or a folder with a registry and message files, or a disk
// image file, as the offline backend reads them) into a message database, adding to OUT.db when
// it exists. Exit status 0 on success, 1 on failure, 2 for wrong arguments.
// What it cannot use is refused with one line on standard error and no file
// written: an IMAGE that gives no message at all (no registry, or no message
// file the registry names), and an OUT that is a folder.
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "message_db/catalogue_export.h"
#include "message_db/database_writer.h"
#include "platform/offline/disk_image/disk_image.h"
#include "platform/offline/image/image.h"
#include "platform/offline/image/path_resolver.h"
#include "platform/offline/messages/file_access.h"
#include "platform/offline/messages/message_catalog.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: qrv_message_db IMAGE OUT.db\n";
    return 2;
  }
  std::filesystem::path root = argv[1];
  const std::filesystem::path out = argv[2];
  if (auto disk = qrv::offline::OpenDiskImageRoot(root)) {
    if (!disk->problem.empty()) {
      std::cerr << "qrv_message_db: '" << root.string() << "' " << disk->problem << '\n';
      return 1;
    }
    root = disk->root;
  } else if (!std::filesystem::is_directory(root)) {
    std::cerr << "qrv_message_db: " << root.string() << " is not a folder\n";
    return 1;
  }
  if (std::error_code ignored; std::filesystem::is_directory(out, ignored)) {
    std::cerr << "qrv_message_db: " << out.string()
              << " is a folder; OUT names the database file to write\n";
    return 1;
  }
  qrv::offline::Image image(root);
  qrv::offline::PathResolver files(image.root());
  qrv::offline::HostFileLoader loader;
  qrv::offline::MessageCatalog catalog(
      image.registry(),
      [&files](std::string_view windows_path) -> std::optional<std::string> {
        auto path = files.ResolveWindowsPath(windows_path);
        if (!path) return std::nullopt;
        return path->string();
      },
      loader);
  const std::vector<qrv::message_db::ExportRow> rows =
      qrv::message_db::ExportCatalogue(catalog);
  if (rows.empty()) {
    // A folder of logs or a triage copy without System32: nothing to write,
    // and an empty database would only hide the mistake.
    std::cerr << "qrv_message_db: " << root.string()
              << (image.layout() == qrv::offline::ImageLayout::kWindowsVolume
                      ? " has no message file that its registry names"
                      : " holds no registry (Windows/System32/config/SYSTEM "
                        "or SOFTWARE) and so no message files")
              << "; nothing written\n";
    return 1;
  }
  const qrv::message_db::WriteResult result =
      qrv::message_db::WriteMessageDatabase(
          out, rows, qrv::offline::ReadWindowsBuild(image.registry()));
  if (!result.ok) {
    std::cerr << "qrv_message_db: " << result.error << '\n';
    return 1;
  }
  std::cout << result.providers_added << " providers and "
            << result.messages_added << " messages added to " << argv[2]
            << '\n';
  return 0;
}
