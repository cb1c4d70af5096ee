// Test helpers for the PE readers: loading a shared corpus file (empty when
// the corpus is absent, so the caller can GTEST_SKIP) and byte patching.
#ifndef QRV_TESTS_FORMATS_PE_PE_TEST_FILES_H_
#define QRV_TESTS_FORMATS_PE_PE_TEST_FILES_H_

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace pe_test {

inline std::vector<uint8_t> ReadCorpusFile(const std::string& relative) {
  std::ifstream in(std::string(QRV_SHARED_DIR) + "/corpus/" + relative,
                   std::ios::binary);
  if (!in) return {};
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                              std::istreambuf_iterator<char>());
}

inline void PutU32(std::vector<uint8_t>* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    (*bytes)[at + i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

inline uint32_t GetU32(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
         (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

}  // namespace pe_test

#endif  // QRV_TESTS_FORMATS_PE_PE_TEST_FILES_H_
