// How Windows names log files after channels: "/" becomes "%4", ".evtx" is
// appended, and a full log backed up by AutoBackup becomes
// "Archive-<log file stem>-<YYYY-MM-DD-HH-MM-SS-mmm>.evtx" in the same folder.
//
// Entry points: ChannelFileName, ChannelFromFileName, IsArchiveName,
// ArchiveSuffix, HasEvtxExtension.
#ifndef QRV_PLATFORM_OFFLINE_IMAGE_CHANNEL_FILE_NAMES_H_
#define QRV_PLATFORM_OFFLINE_IMAGE_CHANNEL_FILE_NAMES_H_

#include <optional>
#include <string>
#include <string_view>

namespace qrv::offline {

// "Microsoft-Windows-CAPI2/Operational" -> "Microsoft-Windows-CAPI2%4Operational.evtx".
std::string ChannelFileName(std::string_view channel);

// True when `file_name` ends in ".evtx", any case.
bool HasEvtxExtension(std::string_view file_name);

// The channel a file name stands for: ".evtx" dropped, "%4" read as "/",
// and for an archive whose timestamp has Windows's form, the "Archive-"
// prefix and the timestamp dropped too. nullopt for a name without ".evtx"
// or with nothing before it.
std::optional<std::string> ChannelFromFileName(std::string_view file_name);

// True when `file_name` starts with "Archive-", any case.
bool IsArchiveName(std::string_view file_name);

// When `file_name` is "Archive-<log_stem>-<suffix>.evtx" (the prefix and
// stem matched ignoring case), the suffix: the timestamp on Windows, kept
// for ordering. nullopt otherwise.
std::optional<std::string> ArchiveSuffix(std::string_view file_name, std::string_view log_stem);

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_IMAGE_CHANNEL_FILE_NAMES_H_
