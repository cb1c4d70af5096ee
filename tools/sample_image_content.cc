// The sample image's logs, channels and providers: classic event sources of
// the Application and System logs, the Security log's auditing publisher, and
// two manifest publishers of our own. Message texts use the message
// compiler's escapes (%n line break, %t tab, %1.. inserts, %%n parameters).
#include "tools/sample_image_content.h"

#include "tools/sample_image_events.h"

namespace qrv::sample {
namespace {

constexpr char kApplication[] = "Application";
constexpr char kSystem[] = "System";
constexpr char kSecurity[] = "Security";
constexpr char kSampleOperational[] = "Microsoft-Windows-QRV-Sample/Operational";
constexpr char kSampleDebug[] = "Microsoft-Windows-QRV-Sample/Debug";

constexpr char kSampleGuid[] = "{6a1f3c52-8d4e-4b7a-9e21-5c0d7f3b8a14}";
constexpr char kHealthGuid[] = "{b3e8d1f0-2c47-4e95-a6d3-91f0e2c4b7a8}";
constexpr char kAuditingGuid[] = "{54849625-5478-4994-a5ba-3e3b0328c30d}";

// Qualifiers of classic ids: the severity in the top two bits, here with
// facility 0 (0x4000 informational, 0x8000 warning, 0xC000 error) or 4.
constexpr uint16_t kInformational = 0x4000;
constexpr uint16_t kWarning = 0x8000;
constexpr uint16_t kError = 0xC000;

DeclaredEvent Classic(uint16_t qualifiers, uint16_t id, uint8_t level, uint16_t category,
                      size_t inserts, std::string message) {
  DeclaredEvent e;
  e.id = id;
  e.qualifiers = qualifiers;
  e.level = level;
  e.task = category;
  e.keywords = kKeywordClassic;
  e.message = std::move(message);
  e.data_names.assign(inserts, "");
  return e;
}

DeclaredEvent Manifest(uint16_t id, uint8_t version, uint8_t level, uint16_t task,
                       uint64_t keywords, uint8_t channel, std::vector<std::string> data_names,
                       std::string message) {
  DeclaredEvent e;
  e.id = id;
  e.version = version;
  e.level = level;
  e.task = task;
  e.keywords = keywords;
  e.channel_value = channel;
  e.data_names = std::move(data_names);
  e.message = std::move(message);
  return e;
}

pe::WevtTask Task(uint32_t value, std::string name) {
  pe::WevtTask t;
  t.value = value;
  t.name = std::move(name);
  t.message_id = 0x70000000u | value;
  return t;
}

pe::WevtKeyword Keyword(uint64_t mask, std::string name, uint32_t message_id) {
  pe::WevtKeyword k;
  k.mask = mask;
  k.name = std::move(name);
  k.message_id = message_id;
  return k;
}

// Task names go in the file as messages, under the ids the tasks name.
void AddTaskMessages(SampleProvider* p, const std::vector<std::string>& display_names) {
  for (size_t i = 0; i < p->tasks.size() && i < display_names.size(); ++i) {
    p->other_messages.emplace_back(p->tasks[i].message_id, display_names[i] + "\r\n");
  }
}

SampleProvider BackupSource() {
  SampleProvider p;
  p.name = "QRV-Backup";
  p.file = "qrvbackup.dll";
  p.classic_log = kApplication;
  p.parameter_file = true;
  p.categories = {"Backup", "Restore"};
  // The backup kind arrives as a parameter insert (%%1001..), expanded from
  // ParameterMessageFile as Windows does for such values.
  p.other_messages = {{1001, "full\r\n"}, {1002, "incremental\r\n"}, {1003, "differential\r\n"}};
  p.events = {
      Classic(kInformational, 100, 4, 1, 4,
              "The %1 backup of volume %2 completed successfully. %3 files "
              "(%4 MB) were copied.\r\n"),
      Classic(kWarning, 110, 3, 1, 3,
              "The %1 backup of volume %2 skipped %3 files that were in "
              "use.\r\n"),
      Classic(kError, 120, 2, 1, 3,
              "The %1 backup of volume %2 failed: the target %3 cannot be "
              "reached.\r\n"),
      Classic(kInformational, 130, 4, 2, 2,
              "The restore of %1 to volume %2 completed successfully.\r\n"),
  };
  return p;
}

// Its EventMessageFile lists two files; the agent's start message is only in
// the second one, shared with other tools.
SampleProvider InventorySource() {
  SampleProvider p;
  p.name = "QRV-Inventory";
  p.file = "qrvinventory.dll";
  p.classic_log = kApplication;
  p.events = {
      Classic(kInformational, 2000, 4, 0, 2,
              "Inventory scan %1 found %2 installed applications.\r\n"),
      Classic(kInformational, 2001, 4, 0, 1, "The inventory agent started (version %1).\r\n"),
      Classic(kWarning, 2010, 3, 0, 1,
              "The application %1 could not be identified and was left out "
              "of the inventory.\r\n"),
  };
  p.events[1].message_file = "qrvcommon.dll";
  return p;
}

SampleProvider ServiceControlSource() {
  SampleProvider p;
  p.name = "QRV-ServiceControl";
  p.file = "qrvsvcmsg.dll";
  p.classic_log = kSystem;
  p.events = {
      Classic(kInformational, 7036, 4, 0, 2, "The %1 service entered the %2 state.\r\n"),
      Classic(kInformational, 7040, 4, 0, 3,
              "The start type of the %1 service was changed from %2 to "
              "%3.\r\n"),
      Classic(kWarning, 7011, 3, 0, 2,
              "A timeout (%1 milliseconds) was reached while waiting for a "
              "transaction response from the %2 service.\r\n"),
      Classic(kError, 7031, 2, 0, 2,
              "The %1 service terminated unexpectedly. It has done this %2 "
              "time(s).\r\n"),
  };
  return p;
}

SampleProvider DiskSource() {
  SampleProvider p;
  p.name = "QRV-Disk";
  p.file = "qrvdiskmsg.dll";
  p.classic_log = kSystem;
  p.events = {
      Classic(kError | 4, 7, 2, 0, 1, "The device, %1, has a bad block.\r\n"),
      Classic(kWarning | 4, 51, 3, 0, 1,
              "An error was detected on device %1 during a paging "
              "operation.\r\n"),
      Classic(kWarning | 4, 153, 3, 0, 2,
              "The IO operation at logical block address %1 for disk %2 was "
              "retried.\r\n"),
  };
  return p;
}

// A manifest publisher logging to the Application log. Installing its
// manifest also registered it as a source of that log (ProviderGuid).
SampleProvider HealthPublisher() {
  SampleProvider p;
  p.name = "QRV-Health-Monitor";
  p.guid = kHealthGuid;
  p.file = "qrvhealth.dll";
  p.classic_log = kApplication;
  p.message_id = 0x90000001;
  p.display_name = "QRV Health Monitor";
  p.channels = {{kApplication, 9}};
  p.tasks = {Task(1, "HealthCheck")};
  p.keywords = {Keyword(0x1, "Checks", 0x10000001)};
  AddTaskMessages(&p, {"Health check"});
  p.other_messages.emplace_back(0x10000001, "Checks\r\n");
  constexpr uint64_t kChecks = kKeywordAdminChannel | 0x1;
  p.events = {
      Manifest(1000, 0, 1, 1, kChecks, 9, {"Component", "Detail"},
               "The health monitor found the %1 component in a critical "
               "state: %2.\r\n"),
      Manifest(1001, 0, 4, 1, kChecks, 9, {"Component", "DurationMs"},
               "The health check of %1 passed in %2 ms.\r\n"),
      Manifest(1002, 0, 5, 1, kChecks, 9, {"CheckId", "Component"},
               "Health check %1 started for component %2.\r\n"),
      Manifest(1003, 0, 2, 1, kChecks, 9, {"Component", "ErrorCode"},
               "The health check of %1 failed with error %2.\r\n"),
      Manifest(1004, 0, 3, 1, kChecks, 9, {"Component", "FreePercent"},
               "The %1 component is running low on space: %2 percent "
               "free.\r\n"),
  };
  return p;
}

// Our own publisher with its own channels; its messages live in the en-US
// language file, the way Windows components ship them.
SampleProvider SamplePublisher() {
  SampleProvider p;
  p.name = "Microsoft-Windows-QRV-Sample";
  p.guid = kSampleGuid;
  p.file = "qrvsample.dll";
  p.messages_in_mui = true;
  p.message_id = 0x90000001;
  p.display_name = "QRV Sample";
  p.channels = {{kSampleOperational, 16, 0x90000002}, {kSampleDebug, 17, 0x90000003}};
  p.other_messages = {{0x90000002, "Operational\r\n"}, {0x90000003, "Debug\r\n"}};
  p.tasks = {Task(1, "Sync"), Task(2, "Cleanup")};
  AddTaskMessages(&p, {"Synchronization", "Cleanup"});
  p.keywords = {Keyword(0x1, "Network", 0x10000001), Keyword(0x2, "Storage", 0x10000002)};
  p.other_messages.emplace_back(0x10000001, "Network\r\n");
  p.other_messages.emplace_back(0x10000002, "Storage\r\n");
  constexpr uint64_t kOperational = kKeywordOperationalChannel;
  p.events = {
      Manifest(100, 1, 4, 1, kOperational | 0x1, 16, {"Folder", "Target", "FileCount"},
               "Synchronization of folder %1 with %2 completed: %3 files "
               "transferred.\r\n"),
      Manifest(101, 0, 3, 1, kOperational | 0x1, 16, {"Folder", "Seconds", "FileCount"},
               "Synchronization of folder %1 was slow: %2 seconds for %3 "
               "files.\r\n"),
      Manifest(102, 0, 2, 1, kOperational | 0x1, 16, {"Folder", "ErrorCode"},
               "Synchronization of folder %1 failed with error %2.\r\n"),
      Manifest(103, 0, 1, 1, kOperational | 0x2, 16, {"Store"},
               "The synchronization store %1 is corrupt and was taken "
               "offline.\r\n"),
      Manifest(104, 0, 5, 2, kOperational | 0x2, 16, {"ItemCount", "Store"},
               "Cleanup removed %1 expired items from %2.\r\n"),
      // Declared for the Debug channel, which is disabled: never logged.
      Manifest(200, 0, 5, 0, 0x1000000000000000, 17, {"Trace"}, "Debug trace: %1.\r\n"),
  };
  return p;
}

// Windows' own auditing publisher (name and GUID as on Windows), with
// messages of our own wording. Audits are level 0 events told apart by the
// audit keyword alone, with no Qualifiers.
SampleProvider AuditingPublisher() {
  SampleProvider p;
  p.name = "Microsoft-Windows-Security-Auditing";
  p.guid = kAuditingGuid;
  p.file = "qrvaudit.dll";
  p.classic_log = kSecurity;
  p.parameter_file = true;
  p.message_id = 0x90000001;
  p.display_name = "Security Auditing";
  p.channels = {{kSecurity, 10}};
  p.tasks = {Task(12544, "Logon"), Task(12545, "Logoff"), Task(12548, "SpecialLogon"),
             Task(13824, "UserAccountMgmt")};
  AddTaskMessages(&p, {"Logon", "Logoff", "Special Logon", "User Account Management"});
  p.other_messages.emplace_back(2313, "Unknown user name or bad password.\r\n");
  p.other_messages.emplace_back(2307, "Account locked out.\r\n");
  p.events = {
      Manifest(4624, 2, 0, 12544, kKeywordAuditSuccess, 10,
               {"TargetUserName", "TargetDomainName", "LogonType", "IpAddress"},
               "An account was successfully logged on.%n%nAccount Name:%t%1%n"
               "Account Domain:%t%2%nLogon Type:%t%3%nSource Network "
               "Address:%t%4\r\n"),
      Manifest(4625, 0, 0, 12544, kKeywordAuditFailure, 10,
               {"TargetUserName", "TargetDomainName", "FailureReason", "IpAddress"},
               "An account failed to log on.%n%nAccount Name:%t%1%nAccount "
               "Domain:%t%2%nFailure Reason:%t%3%nSource Network "
               "Address:%t%4\r\n"),
      Manifest(4634, 0, 0, 12545, kKeywordAuditSuccess, 10,
               {"TargetUserName", "TargetDomainName", "LogonType"},
               "An account was logged off.%n%nAccount Name:%t%1%nAccount "
               "Domain:%t%2%nLogon Type:%t%3\r\n"),
      Manifest(4672, 0, 0, 12548, kKeywordAuditSuccess, 10,
               {"SubjectUserName", "SubjectDomainName", "PrivilegeList"},
               "Special privileges assigned to new logon.%n%nAccount "
               "Name:%t%1%nAccount Domain:%t%2%nPrivileges:%t%3\r\n"),
      Manifest(4740, 0, 0, 13824, kKeywordAuditSuccess, 10, {"TargetUserName", "TargetDomainName"},
               "A user account was locked out.%n%nAccount Name:%t%1%nCaller "
               "Computer Name:%t%2\r\n"),
  };
  return p;
}

}  // namespace

uint32_t DeclaredEvent::MessageId() const {
  if (qualifiers) return (uint32_t{*qualifiers} << 16) | id;
  // The manifest range the message compiler uses for event messages.
  return 0xB0000000u | (uint32_t{version} << 16) | id;
}

const DeclaredEvent* SampleProvider::FindEvent(uint16_t event_id) const {
  for (const DeclaredEvent& e : events) {
    if (e.id == event_id) return &e;
  }
  return nullptr;
}

const SampleProvider* SampleImage::FindProvider(const std::string& name) const {
  for (const SampleProvider& p : providers) {
    if (p.name == name) return &p;
  }
  return nullptr;
}

std::vector<const SampleEvent*> SampleImage::EventsOf(const std::string& channel) const {
  std::vector<const SampleEvent*> out;
  for (const SampleEvent& e : events) {
    if (e.record.channel == channel) out.push_back(&e);
  }
  return out;
}

SampleImage MakeSampleImage() {
  SampleImage image;
  image.computer_name = "QRVSAMPLE01";
  image.registry_time = SampleTime(2024, 3, 1, 9, 30, 0);
  image.classic_logs = {kApplication, kSystem, kSecurity};
  // The classic logs are registered channels too, as on Windows, with no
  // owning publisher.
  image.channels = {
      {kApplication, "", kChannelTypeAdmin, true, 0, true},
      {kSystem, "", kChannelTypeAdmin, true, 1, true},
      {kSecurity, "", kChannelTypeAdmin, true, 2, true},
      {kSampleOperational, kSampleGuid, kChannelTypeOperational, true, 0, true},
      {kSampleDebug, kSampleGuid, kChannelTypeDebug, false, 0, false},
  };
  image.providers = {BackupSource(), InventorySource(),   HealthPublisher(), ServiceControlSource(),
                     DiskSource(),   AuditingPublisher(), SamplePublisher()};
  image.events = MakeSampleEvents(image);
  return image;
}

}  // namespace qrv::sample
