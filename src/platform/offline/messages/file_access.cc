// Host file loader and registry file lists; see file_access.h.
#include "platform/offline/messages/file_access.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace qrv::offline {

std::optional<std::vector<uint8_t>> HostFileLoader::Read(
    const std::string& host_path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(host_path, error)) return std::nullopt;
  const uintmax_t size = std::filesystem::file_size(host_path, error);
  if (error || size > kMaxFileBytes) return std::nullopt;
  std::ifstream in(host_path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  in.read(reinterpret_cast<char*>(bytes.data()),
          static_cast<std::streamsize>(bytes.size()));
  // A file that shrank between the size query and the read is cut to what
  // arrived; the PE readers refuse what no longer holds together.
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

std::vector<std::string> HostFileLoader::Subdirectories(
    const std::string& host_dir) {
  std::vector<std::string> names;
  std::error_code error;
  // The error_code forms throughout: a directory that vanishes or cannot be
  // read mid-walk ends the listing instead of throwing.
  std::filesystem::directory_iterator it(host_dir, error);
  const std::filesystem::directory_iterator end;
  while (!error && it != end) {
    std::error_code entry_error;
    if (it->is_directory(entry_error)) {
      names.push_back(it->path().filename().string());
    }
    it.increment(error);
  }
  return names;
}

std::vector<std::string> SplitFileList(std::string_view list) {
  std::vector<std::string> entries;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(';', start);
    if (end == std::string_view::npos) end = list.size();
    std::string_view entry = list.substr(start, end - start);
    while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t')) {
      entry.remove_prefix(1);
    }
    while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t' ||
                              entry.back() == '\0')) {
      entry.remove_suffix(1);
    }
    if (!entry.empty()) entries.emplace_back(entry);
    start = end + 1;
  }
  return entries;
}

}  // namespace qrv::offline
