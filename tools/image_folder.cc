// Whole-folder replacement of a generated image.
#include "tools/image_folder.h"

#include <fstream>
#include <system_error>

namespace qrv::sample {
namespace {

namespace fs = std::filesystem;

bool IsReplaceable(const fs::path& folder) {
  std::error_code ec;
  if (!fs::exists(folder, ec)) return true;
  if (!fs::is_directory(folder, ec)) return false;
  return fs::is_empty(folder, ec) || fs::is_regular_file(folder / kMarkerFile, ec);
}

bool WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  if (ec) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

}  // namespace

bool WriteImageFolder(const std::vector<ImageFile>& files, const fs::path& folder,
                      std::string* error) {
  if (!IsReplaceable(folder)) {
    *error = folder.string() + " exists and does not hold a generated image";
    return false;
  }
  fs::path staging = folder;
  staging += ".new";
  std::error_code ec;
  fs::remove_all(staging, ec);
  for (const ImageFile& file : files) {
    if (!WriteFile(staging / file.path, file.bytes)) {
      *error = "cannot write " + (staging / file.path).string();
      fs::remove_all(staging, ec);
      return false;
    }
  }
  fs::remove_all(folder, ec);
  if (ec) {
    *error = "cannot remove the old " + folder.string() + ": " + ec.message();
    return false;
  }
  fs::rename(staging, folder, ec);
  if (ec) {
    *error = "cannot move " + staging.string() + " into place: " + ec.message();
    return false;
  }
  return true;
}

}  // namespace qrv::sample
