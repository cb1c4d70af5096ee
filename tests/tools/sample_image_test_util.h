// Shared by the sample image tests: where the build wrote the image, and
// reading its files.
#ifndef QRV_TESTS_TOOLS_SAMPLE_IMAGE_TEST_UTIL_H_
#define QRV_TESTS_TOOLS_SAMPLE_IMAGE_TEST_UTIL_H_

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qrv::sample::testing {

inline std::filesystem::path BuiltImage() { return QRV_SAMPLE_IMAGE_DIR; }

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace qrv::sample::testing

#endif  // QRV_TESTS_TOOLS_SAMPLE_IMAGE_TEST_UTIL_H_
