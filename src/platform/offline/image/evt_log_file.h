// Legacy event logs (.evt, Windows NT to Server 2003) in an image: a file
// opened for the legacy reader with positioned reads, its summary for a
// folder's channel list, and the channel its file name stands for.
// Whether a file is EVTX or legacy is told by its first bytes, never by its
// extension: collection tools name either kind either way.
// Entry points: EvtLogFile, SummarizeLogFile, HasLogFileExtension,
// ChannelFromLogFileName.
#ifndef QRV_PLATFORM_OFFLINE_IMAGE_EVT_LOG_FILE_H_
#define QRV_PLATFORM_OFFLINE_IMAGE_EVT_LOG_FILE_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "formats/evt/evt_log_reader.h"
#include "platform/offline/image/evtx_summary.h"
#include "platform/offline/image/positioned_file.h"

namespace qrv::offline {

enum class EvtOpenStatus {
  kOk,
  kMissing,     // no such file, or a folder
  kUnreadable,  // exists but cannot be opened or read
  kNotEvt,      // does not start with a legacy log header
};

// A legacy log file as the reader's byte source.
class EvtLogFile : public evt::ByteSource {
 public:
  EvtOpenStatus Open(const std::filesystem::path& path);
  uint64_t size() const override { return file_.size(); }
  size_t ReadAt(uint64_t offset, uint8_t* out, size_t n) const override {
    return file_.ReadAt(offset, out, n);
  }

 private:
  PositionedFile file_;
};

// The summary of a legacy log: no record names a channel, so `channel` is
// empty; providers are the records' sources. nullopt when the file cannot
// be read or is not a legacy log.
std::optional<EvtxFileSummary> SummarizeEvtFile(const std::filesystem::path& path);

// SummarizeEvtxFile for an EVTX file, else SummarizeEvtFile.
std::optional<EvtxFileSummary> SummarizeLogFile(const std::filesystem::path& path);

// True when `file_name` ends in ".evtx" or ".evt", any case.
bool HasLogFileExtension(std::string_view file_name);

// The channel a log file's name stands for: as ChannelFromFileName for
// ".evtx"; for ".evt", the stems Windows gave its own logs (AppEvent,
// SysEvent, SecEvent, any case) are Application, System and Security, and
// any other stem reads as a ".evtx" one would.
std::optional<std::string> ChannelFromLogFileName(std::string_view file_name);

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_IMAGE_EVT_LOG_FILE_H_
