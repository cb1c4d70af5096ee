// Which Windows build a machine runs and which build a message database was
// taken from, so that a folder of databases (one per build, as they are
// published) can be asked nearest build first. Templates change between
// builds: the nearest one words a message as that machine did.
//
// The machine's build: the SOFTWARE hive's key
// Microsoft\Windows NT\CurrentVersion (CurrentBuildNumber, else
// CurrentBuild; UBR, ProductName, InstallationType), else the newest
// EventLog 6009 event of the System log, which Windows writes at every boot
// with its version and build. ProductName
// is kept for people to read only: Windows 11 still calls itself
// "Windows 10" there, and the build number says which it is.
// A database's build: the windows_build table qrv_message_db writes, else
// the build in a published file's name
// (windows_10_1703_enterprise_x64_10.0.15063.0.db: 15063).
//
// Entry points: WindowsBuild, ReadWindowsBuild, BuildFromSystemLog,
// BuildFromDatabaseName, CloserBuild.
#ifndef QRV_PLATFORM_OFFLINE_MESSAGE_DB_WINDOWS_BUILD_H_
#define QRV_PLATFORM_OFFLINE_MESSAGE_DB_WINDOWS_BUILD_H_

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry_api.h"

namespace qrv::offline {

struct WindowsBuild {
  uint32_t build = 0;  // 15063, 19045, 22631...
  uint32_t ubr = 0;    // update build revision; 0 when unknown
  std::string product;       // ProductName, as written
  std::string installation;  // InstallationType: "Client", "Server"...
  bool server() const;       // installation (or product) says server
};

// The build `registry`'s HKEY_LOCAL_MACHINE\SOFTWARE records; nullopt when
// it records none (no SOFTWARE hive, as in a folder of logs).
std::optional<WindowsBuild> ReadWindowsBuild(RegistryApi& registry);

// The build the newest EventLog 6009 event among `files` (the System log's)
// names; nullopt when none does.
std::optional<WindowsBuild> BuildFromSystemLog(
    const std::vector<std::filesystem::path>& files);

// The build a published database's file name ends with
// ("..._10.0.15063.0.db"); nullopt for other names.
std::optional<uint32_t> BuildFromDatabaseName(std::string_view file_name);

// A database of build `candidate` (with `candidate_server` for a server
// edition) is asked before one of build `other` for a machine of build
// `machine` (nullopt: unknown, then newer builds first): the smaller
// distance wins, then the matching edition, then the newer build. Unknown
// builds come last.
struct BuildKey {
  std::optional<uint32_t> build;
  bool server = false;
};
bool CloserBuild(const BuildKey& candidate, const BuildKey& other,
                 const std::optional<WindowsBuild>& machine);

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_MESSAGE_DB_WINDOWS_BUILD_H_
