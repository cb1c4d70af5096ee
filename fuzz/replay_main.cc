// Replay driver for the fuzz targets when the compiler has no libFuzzer (or a
// normal build wants them as ordinary programs): feeds every file named on the
// command line, and every regular file below every folder named, to
// LLVMFuzzerTestOneInput once, so the targets build and run everywhere.
//
// Usage: <target> PATH...   Exit 0 when every input ran; 1 when a path is
// missing or unreadable (a crash ends the process on its own).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// Reads the whole file into a buffer of exactly its size, so a sanitizer sees
// any read one byte past the input.
bool ReadFile(const std::filesystem::path& path, std::vector<uint8_t>* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  out->shrink_to_fit();
  return !in.bad();
}

bool RunOne(const std::filesystem::path& path) {
  std::vector<uint8_t> bytes;
  if (!ReadFile(path, &bytes)) {
    std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
    return false;
  }
  // A null pointer for the empty input, as libFuzzer passes it.
  LLVMFuzzerTestOneInput(bytes.empty() ? nullptr : bytes.data(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  size_t inputs = 0;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path root(argv[i]);
    std::error_code error;
    if (std::filesystem::is_directory(root, error)) {
      // Sorted, so a replay that crashes names the same input every run.
      std::vector<std::filesystem::path> files;
      for (auto it = std::filesystem::recursive_directory_iterator(root, error);
           !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file(error)) files.push_back(it->path());
      }
      if (error) {
        std::fprintf(stderr, "cannot list %s: %s\n", argv[i], error.message().c_str());
        ok = false;
      }
      std::sort(files.begin(), files.end());
      for (const auto& file : files) {
        ok = RunOne(file) && ok;
        ++inputs;
      }
    } else if (std::filesystem::is_regular_file(root, error)) {
      ok = RunOne(root) && ok;
      ++inputs;
    } else {
      std::fprintf(stderr, "no such file or folder: %s\n", argv[i]);
      ok = false;
    }
  }
  std::printf("%s: replayed %zu inputs\n", argc > 0 ? argv[0] : "replay", inputs);
  return ok ? 0 : 1;
}
