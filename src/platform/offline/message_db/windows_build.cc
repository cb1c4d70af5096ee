// Windows builds of machines and message databases; see windows_build.h.
#include "platform/offline/message_db/windows_build.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

#include "formats/ascii.h"
#include "formats/evtx/file_reader.h"
#include "platform/offline/image/evtx_chunk_file.h"
#include "platform/win32_types.h"

namespace qrv::offline {
namespace {

constexpr char kCurrentVersion[] =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// An open registry key, closed when the scope ends.
class OpenKey {
 public:
  OpenKey(RegistryApi& registry, const char* path) : registry_(registry) {
    if (registry_.RegOpenKeyA(LocalMachineKey(), path, &key_) != kErrorSuccess)
      key_ = nullptr;
  }
  ~OpenKey() {
    if (key_ != nullptr) registry_.RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;

  bool ok() const { return key_ != nullptr; }
  // The value as text (REG_SZ), or as its number (REG_DWORD).
  std::optional<std::string> Text(const char* name) const {
    uint8_t data[256];
    uint32_t size = sizeof(data) - 1;
    uint32_t type = 0;
    if (registry_.RegQueryValueExA(key_, name, nullptr, &type, data, &size) !=
        kErrorSuccess) {
      return std::nullopt;
    }
    if (type == kRegDword && size >= 4) {
      uint32_t v;
      std::memcpy(&v, data, 4);
      return std::to_string(v);
    }
    if (type != kRegSz && type != kRegExpandSz) return std::nullopt;
    data[size] = 0;
    return std::string(reinterpret_cast<const char*>(data));
  }

 private:
  RegistryApi& registry_;
  HKey key_ = nullptr;
};

// The leading decimal number of `text` ("19045", "7601 "); nullopt for none
// or 0.
std::optional<uint32_t> Number(std::string_view text) {
  uint32_t value = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data() || value == 0)
    return std::nullopt;
  return value;
}

bool ContainsServer(std::string_view text) {
  return ascii::Lower(text).find("server") != std::string::npos;
}

}  // namespace

bool WindowsBuild::server() const {
  return ContainsServer(installation) ||
         (installation.empty() && ContainsServer(product));
}

std::optional<WindowsBuild> ReadWindowsBuild(RegistryApi& registry) {
  const OpenKey key(registry, kCurrentVersion);
  if (!key.ok()) return std::nullopt;
  std::optional<uint32_t> build;
  if (auto text = key.Text("CurrentBuildNumber")) build = Number(*text);
  if (!build) {
    if (auto text = key.Text("CurrentBuild")) build = Number(*text);
  }
  if (!build) return std::nullopt;
  WindowsBuild found;
  found.build = *build;
  if (auto text = key.Text("UBR")) found.ubr = Number(*text).value_or(0);
  found.product = key.Text("ProductName").value_or("");
  found.installation = key.Text("InstallationType").value_or("");
  return found;
}

std::optional<WindowsBuild> BuildFromSystemLog(
    const std::vector<std::filesystem::path>& files) {
  std::optional<WindowsBuild> newest;
  uint64_t newest_time = 0;
  std::vector<std::string> items;
  for (const auto& path : files) {
    // A System log may run to gigabytes: it is read one chunk at a time.
    EvtxChunkFile file;
    if (file.Open(path) != EvtxOpenStatus::kOk) continue;
    EvtxRecordCursor cursor(file, evtx::RecordOrder::kFileOrder);
    // Records are read whatever the chunk's data checksum says, so the
    // checksum (the largest cost of a system-properties read) is not spent.
    cursor.decoder().set_verify_data_checksum(false);
    while (cursor.Next()) {
      // The system properties alone say whether a record is a boot event;
      // only those have their data read.
      evtx::SystemProperties p;
      if (cursor.decoder().ReadSystem(cursor.record(), &p) !=
              evtx::DecodeStatus::kOk ||
          p.event_id != 6009 || (newest && p.time_created < newest_time) ||
          p.provider_name.ToUtf8() != "EventLog") {
        continue;
      }
      // Data: "10.00.", "19045", service pack, "Multiprocessor Free",
      // and on Windows 10 and later the UBR.
      if (cursor.decoder().ReadDataItems(cursor.record(), &items) !=
              evtx::DecodeStatus::kOk ||
          items.size() < 2) {
        continue;
      }
      const std::optional<uint32_t> build = Number(items[1]);
      if (!build) continue;
      WindowsBuild found;
      found.build = *build;
      if (items.size() >= 5) found.ubr = Number(items[4]).value_or(0);
      newest = found;
      newest_time = p.time_created;
    }
  }
  return newest;
}

std::optional<uint32_t> BuildFromDatabaseName(std::string_view name) {
  // ..._<major>.<minor>.<build>.<revision>.db
  const std::string lower = ascii::Lower(name);
  if (lower.size() < 3 || lower.compare(lower.size() - 3, 3, ".db") != 0)
    return std::nullopt;
  const std::string_view stem(lower.data(), lower.size() - 3);
  const size_t start = stem.rfind('_');
  const std::string_view version =
      start == std::string_view::npos ? stem : stem.substr(start + 1);
  // Four dot-separated numbers; the third is the build.
  std::optional<uint32_t> parts[4];
  size_t at = 0;
  for (int i = 0; i < 4; ++i) {
    const size_t dot = i < 3 ? version.find('.', at) : version.size();
    if (dot == std::string_view::npos) return std::nullopt;
    const std::string_view part = version.substr(at, dot - at);
    uint32_t v = 0;
    const auto [end, error] =
        std::from_chars(part.data(), part.data() + part.size(), v);
    if (part.empty() || error != std::errc() ||
        end != part.data() + part.size()) {
      return std::nullopt;
    }
    parts[i] = v;
    at = dot + 1;
  }
  return parts[2] == 0u ? std::nullopt : parts[2];
}

bool CloserBuild(const BuildKey& a, const BuildKey& b,
                 const std::optional<WindowsBuild>& machine) {
  if (a.build.has_value() != b.build.has_value()) return a.build.has_value();
  if (!a.build) return false;
  if (machine) {
    auto distance = [&](uint32_t build) {
      return build > machine->build ? build - machine->build
                                    : machine->build - build;
    };
    const uint32_t da = distance(*a.build), db = distance(*b.build);
    if (da != db) return da < db;
    const bool server = machine->server();
    if ((a.server == server) != (b.server == server)) return a.server == server;
  }
  return *a.build > *b.build;
}

}  // namespace qrv::offline
