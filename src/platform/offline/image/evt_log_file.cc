// Legacy log files of an image; see evt_log_file.h.
#include "platform/offline/image/evt_log_file.h"

#include <algorithm>
#include <cerrno>

#include "formats/event_names.h"
#include "formats/utf16.h"
#include "platform/offline/image/channel_file_names.h"
#include "platform/offline/image/path_resolver.h"

namespace qrv::offline {

namespace {

constexpr std::string_view kEvtExtension = ".evt";

struct LegacyName {
  std::string_view stem;
  std::string_view channel;
};
constexpr LegacyName kLegacyNames[] = {
    {"AppEvent", "Application"}, {"SysEvent", "System"}, {"SecEvent", "Security"}};

bool EndsWithIgnoreCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         FileNamesEqualIgnoreCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace

EvtOpenStatus EvtLogFile::Open(const std::filesystem::path& path) {
  int error = 0;
  if (!file_.Open(path, &error))
    return error == ENOENT || error == ENOTDIR || error == EISDIR ? EvtOpenStatus::kMissing
                                                                 : EvtOpenStatus::kUnreadable;
  uint8_t head[evt::kFileHeaderSize];
  evt::FileHeader header;
  if (ReadAt(0, head, sizeof head) != sizeof head ||
      !evt::ParseFileHeader(head, sizeof head, &header))
    return EvtOpenStatus::kNotEvt;
  return EvtOpenStatus::kOk;
}

std::optional<EvtxFileSummary> SummarizeEvtFile(const std::filesystem::path& path) {
  EvtLogFile file;
  if (file.Open(path) != EvtOpenStatus::kOk) return std::nullopt;
  evt::LogReader reader;
  if (!reader.Open(file)) return std::nullopt;
  EvtxFileSummary summary;
  evt::Record record;
  std::string name;
  while (reader.Next(&record, evt::RecordParts::kNames)) {
    name = text::Utf16ToUtf8(record.source);
    auto it = std::find_if(summary.providers.begin(), summary.providers.end(),
                           [&name](const ProviderCount& p) { return event_names::Same(p.name, name); });
    if (it == summary.providers.end()) {
      summary.providers.push_back(ProviderCount{name, "", 0});
      it = summary.providers.end() - 1;
    }
    ++it->events;
  }
  return summary;
}

std::optional<EvtxFileSummary> SummarizeLogFile(const std::filesystem::path& path) {
  if (std::optional<EvtxFileSummary> evtx = SummarizeEvtxFile(path)) return evtx;
  return SummarizeEvtFile(path);
}

bool HasLogFileExtension(std::string_view file_name) {
  return HasEvtxExtension(file_name) || EndsWithIgnoreCase(file_name, kEvtExtension);
}

std::optional<std::string> ChannelFromLogFileName(std::string_view file_name) {
  if (!EndsWithIgnoreCase(file_name, kEvtExtension)) return ChannelFromFileName(file_name);
  const std::string_view stem = file_name.substr(0, file_name.size() - kEvtExtension.size());
  for (const LegacyName& legacy : kLegacyNames) {
    if (FileNamesEqualIgnoreCase(stem, legacy.stem)) return std::string(legacy.channel);
  }
  return ChannelFromFileName(std::string(stem) + ".evtx");
}

}  // namespace qrv::offline
