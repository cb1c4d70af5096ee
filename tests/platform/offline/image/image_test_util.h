// Helpers for the offline image tests: a temporary folder removed with all
// its content, and writing files into it.
#ifndef QRV_TESTS_PLATFORM_OFFLINE_IMAGE_IMAGE_TEST_UTIL_H_
#define QRV_TESTS_PLATFORM_OFFLINE_IMAGE_IMAGE_TEST_UTIL_H_

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace qrv::offline::testing {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qrv-image-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Writes `bytes` at `relative` ('/'-separated), making its folders.
  std::filesystem::path Write(std::string_view relative, const std::vector<uint8_t>& bytes) const {
    const std::filesystem::path file = path_ / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return file;
  }
  std::filesystem::path Write(std::string_view relative, std::string_view text) const {
    return Write(relative, std::vector<uint8_t>(text.begin(), text.end()));
  }
  std::filesystem::path MakeFolder(std::string_view relative) const {
    std::filesystem::create_directories(path_ / relative);
    return path_ / relative;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace qrv::offline::testing

#endif  // QRV_TESTS_PLATFORM_OFFLINE_IMAGE_IMAGE_TEST_UTIL_H_
