// Host file loader and registry file lists; see file_access.h.
#include "platform/offline/messages/file_access.h"

#include <filesystem>
#include <utility>

#include "platform/offline/image/file_source.h"

namespace qrv::offline {

std::optional<std::vector<uint8_t>> HostFileLoader::Read(
    const std::string& host_path) {
  const std::filesystem::path path(host_path);
  std::vector<uint8_t> bytes;
  int error_number = 0;
  if (!FileSourceFor(path).ReadWhole(path, kMaxFileBytes, &bytes, &error_number))
    return std::nullopt;
  return bytes;
}

std::vector<std::string> HostFileLoader::Subdirectories(
    const std::string& host_dir) {
  const std::filesystem::path dir(host_dir);
  std::vector<std::string> names;
  for (DirEntry& entry : FileSourceFor(dir).List(dir)) {
    if (entry.is_directory) names.push_back(std::move(entry.name));
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
