// Channel <-> log file names; see channel_file_names.h.
#include "platform/offline/image/channel_file_names.h"

#include "platform/offline/image/path_resolver.h"

namespace qrv::offline {

namespace {

constexpr std::string_view kExtension = ".evtx";
constexpr std::string_view kArchivePrefix = "Archive-";
constexpr std::string_view kSlashEscape = "%4";
// "YYYY-MM-DD-HH-MM-SS-mmm": '9' marks a digit, '-' itself.
constexpr std::string_view kTimestampShape = "9999-99-99-99-99-99-999";

bool IsArchiveTimestamp(std::string_view text) {
  if (text.size() != kTimestampShape.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kTimestampShape[i] == '9' ? !digit : text[i] != '-') return false;
  }
  return true;
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         FileNamesEqualIgnoreCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

std::string ChannelFileName(std::string_view channel) {
  std::string name;
  for (char c : channel) {
    if (c == '/') {
      name.append(kSlashEscape);
    } else {
      name.push_back(c);
    }
  }
  name.append(kExtension);
  return name;
}

bool HasEvtxExtension(std::string_view file_name) {
  return file_name.size() >= kExtension.size() &&
         FileNamesEqualIgnoreCase(file_name.substr(file_name.size() - kExtension.size()), kExtension);
}

std::optional<std::string> ChannelFromFileName(std::string_view file_name) {
  if (!HasEvtxExtension(file_name)) return std::nullopt;
  std::string_view stem = file_name.substr(0, file_name.size() - kExtension.size());
  // "Archive-" + at least one character + "-" + timestamp.
  if (StartsWithIgnoreCase(stem, kArchivePrefix) &&
      stem.size() > kArchivePrefix.size() + kTimestampShape.size() + 1) {
    std::string_view timestamp = stem.substr(stem.size() - kTimestampShape.size());
    if (IsArchiveTimestamp(timestamp) && stem[stem.size() - kTimestampShape.size() - 1] == '-') {
      stem = stem.substr(kArchivePrefix.size(),
                         stem.size() - kArchivePrefix.size() - kTimestampShape.size() - 1);
    }
  }
  if (stem.empty()) return std::nullopt;
  std::string channel;
  for (size_t i = 0; i < stem.size(); ++i) {
    if (stem.substr(i, kSlashEscape.size()) == kSlashEscape) {
      channel.push_back('/');
      i += kSlashEscape.size() - 1;
    } else {
      channel.push_back(stem[i]);
    }
  }
  return channel;
}

bool IsArchiveName(std::string_view file_name) {
  return StartsWithIgnoreCase(file_name, kArchivePrefix);
}

std::optional<std::string> ArchiveSuffix(std::string_view file_name, std::string_view log_stem) {
  if (!HasEvtxExtension(file_name)) return std::nullopt;
  std::string_view stem = file_name.substr(0, file_name.size() - kExtension.size());
  std::string prefix(kArchivePrefix);
  prefix.append(log_stem);
  prefix.push_back('-');
  if (!StartsWithIgnoreCase(stem, prefix) || stem.size() == prefix.size()) return std::nullopt;
  return std::string(stem.substr(prefix.size()));
}

}  // namespace qrv::offline
