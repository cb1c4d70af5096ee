// Where the event log keeps its configuration in the registry, for the code
// that reads it through the platform (the catalogue) and the offline layer
// that answers those reads from an image:
//
//   HKLM\SYSTEM\CurrentControlSet\Services\EventLog\<log>\<source>
//       service logs and their classic event sources; the subkeys
//       "Parameters" and "State" hold the service's own settings (Windows
//       Server 2019 and later), not logs
//   HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\WINEVT\Channels\<channel>
//       registered channels
//   HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\WINEVT\Publishers\{GUID}
//       manifest publishers, default value the publisher's name
//
// Entry points: the key paths below, the value names, IsServiceSettingsKey.
#ifndef QRV_PLATFORM_REGISTRY_LAYOUT_H_
#define QRV_PLATFORM_REGISTRY_LAYOUT_H_

#include <string_view>

#include "formats/event_names.h"

namespace qrv {

// Below HKEY_LOCAL_MACHINE.
inline constexpr char kServiceLogKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog";
inline constexpr char kRegisteredChannelKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Channels";
inline constexpr char kPublisherKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Publishers";

// Values of a service log or registered channel key.
inline constexpr char kLogFileValue[] = "File";
inline constexpr char kOwningPublisherValue[] = "OwningPublisher";
// Values of a publisher key: lists of files, separated by ';'.
inline constexpr char kResourceFileValue[] = "ResourceFileName";
inline constexpr char kMessageFileValue[] = "MessageFileName";
inline constexpr char kParameterFileValue[] = "ParameterFileName";
// Values of a classic event source key.
inline constexpr char kEventMessageFileValue[] = "EventMessageFile";
inline constexpr char kParameterMessageFileValue[] = "ParameterMessageFile";
inline constexpr char kCategoryMessageFileValue[] = "CategoryMessageFile";
inline constexpr char kCategoryCountValue[] = "CategoryCount";  // REG_DWORD
inline constexpr char kProviderGuidValue[] = "ProviderGuid";

// True for the subkeys of the service-log key that hold the service's own
// settings rather than a log: "Parameters" and "State", whole name, any
// letter case.
inline bool IsServiceSettingsKey(std::string_view name) {
  return event_names::Same(name, "Parameters") || event_names::Same(name, "State");
}

}  // namespace qrv

#endif  // QRV_PLATFORM_REGISTRY_LAYOUT_H_
