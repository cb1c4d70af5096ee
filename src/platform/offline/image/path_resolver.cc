// Case-insensitive lookups in an image folder; see path_resolver.h.
#include "platform/offline/image/path_resolver.h"

#include <algorithm>
#include <system_error>

#include "formats/regf/name_text.h"
#include "platform/offline/image/windows_path.h"

namespace qrv::offline {

bool FileNamesEqualIgnoreCase(std::string_view a, std::string_view b) {
  return regf::NamesEqualIgnoreCase(a, b);
}

std::string Utf8FileName(const std::filesystem::path& path) {
  const std::u8string name = path.filename().u8string();
  return std::string(name.begin(), name.end());
}

std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

const std::vector<DirEntry>& PathResolver::List(const std::filesystem::path& directory) const {
  auto [it, inserted] = listings_.try_emplace(directory);
  if (!inserted) return it->second;
  std::vector<DirEntry>& entries = it->second;
  entries = FileSourceFor(directory).List(directory);
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& x, const DirEntry& y) { return x.name < y.name; });
  return entries;
}

const DirEntry* PathResolver::Find(const std::filesystem::path& directory,
                                   std::string_view name) const {
  const std::vector<DirEntry>& entries = List(directory);
  const DirEntry* found = nullptr;
  for (const DirEntry& e : entries) {
    if (e.name == name) return &e;
    if (found == nullptr && FileNamesEqualIgnoreCase(e.name, name)) found = &e;
  }
  return found;
}

std::optional<std::filesystem::path> PathResolver::Resolve(
    const std::vector<std::string>& components) const {
  std::filesystem::path current = root_;
  for (size_t i = 0; i < components.size(); ++i) {
    const DirEntry* e = Find(current, components[i]);
    if (e == nullptr) return std::nullopt;
    if (i + 1 < components.size() && !e->is_directory) return std::nullopt;
    current /= PathFromUtf8(e->name);
  }
  return current;
}

std::optional<std::filesystem::path> PathResolver::ResolveWindowsPath(
    std::string_view windows_path) const {
  std::optional<std::vector<std::string>> components = ImagePathComponents(windows_path);
  if (!components) return std::nullopt;
  return Resolve(*components);
}

}  // namespace qrv::offline
