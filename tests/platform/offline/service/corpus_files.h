// The shared corpus of real .evtx files, for tests that skip cleanly when it
// is absent. Entry points: CorpusRoot, CorpusEvtxFiles, ReadFileBytes.
#ifndef QRV_TESTS_PLATFORM_OFFLINE_SERVICE_CORPUS_FILES_H_
#define QRV_TESTS_PLATFORM_OFFLINE_SERVICE_CORPUS_FILES_H_

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace qrv::offline::testing {

// QRV_SHARED_DIR/corpus; empty when that folder does not exist.
inline std::filesystem::path CorpusRoot() {
  std::filesystem::path root = std::filesystem::path(QRV_SHARED_DIR) / "corpus";
  std::error_code ec;
  return std::filesystem::is_directory(root, ec) ? root
                                                 : std::filesystem::path();
}

// Every .evtx file below the corpus root, sorted.
inline std::vector<std::filesystem::path> CorpusEvtxFiles() {
  std::vector<std::filesystem::path> files;
  const std::filesystem::path root = CorpusRoot();
  if (root.empty()) return files;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_regular_file() && entry.path().extension() == ".evtx")
      files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

inline std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace qrv::offline::testing

#endif  // QRV_TESTS_PLATFORM_OFFLINE_SERVICE_CORPUS_FILES_H_
