// The sample image's event records. Each channel repeats a fixed pattern of
// slots (provider, event id, insertion strings that vary with the round), and
// the records are spaced evenly over the four-day window with a small
// deterministic jitter: no clock and no random numbers, so every run writes
// the same bytes.
#include "tools/sample_image_events.h"

#include <functional>
#include <string>

#include "tools/guid_text.h"

namespace qrv::sample {
namespace {

constexpr char kDnsSuffix[] = ".corp.example";
constexpr char kLocalSystemSid[] = "S-1-5-18";

// One slot of a channel's pattern: round `r` (0, 1, ...) picks its inserts.
struct Slot {
  const char* provider;
  uint16_t event_id;
  std::function<std::vector<std::string>(size_t r)> inserts;
};

struct ChannelPlan {
  const char* channel;
  size_t rounds;            // the pattern is repeated this many times
  uint32_t offset_seconds;  // first record after kEventsBegin
  uint32_t process_id;      // of the logging process
  const char* user_sid;     // "" for none
  std::vector<Slot> slots;
};

// "0x" and lower-case hex digits, as a logical block address is shown.
std::string Hex(uint64_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[value % 16]);
    value /= 16;
  } while (value != 0);
  return "0x" + digits;
}

// Picks item r of a list, wrapping around.
std::string Pick(std::initializer_list<const char*> items, size_t r) {
  return *(items.begin() + r % items.size());
}

ChannelPlan ApplicationPlan() {
  return {"Application",
          3,
          7 * 60,
          3184,
          "",
          {
              {"QRV-Inventory", 2001,
               [](size_t r) {
                 return std::vector<std::string>{Pick({"3.2.0", "3.2.1", "3.3.0"}, r)};
               }},
              {"QRV-Health-Monitor", 1002,
               [](size_t r) {
                 return std::vector<std::string>{"HC-" + std::to_string(4101 + r),
                                                 Pick({"Database", "WebFrontEnd", "Scheduler"}, r)};
               }},
              {"QRV-Health-Monitor", 1001,
               [](size_t r) {
                 return std::vector<std::string>{Pick({"Database", "WebFrontEnd", "Scheduler"}, r),
                                                 std::to_string(118 + 37 * r)};
               }},
              {"QRV-Backup", 100,
               [](size_t r) {
                 return std::vector<std::string>{
                     Pick({"%%1001", "%%1002", "%%1003"}, r), Pick({"C:", "D:"}, r),
                     std::to_string(15320 - 4711 * r), std::to_string(8120 - 2650 * r)};
               }},
              {"QRV-Inventory", 2000,
               [](size_t r) {
                 return std::vector<std::string>{"INV-2024-03-0" + std::to_string(4 + r),
                                                 std::to_string(142 + r)};
               }},
              {"QRV-Health-Monitor", 1004,
               [](size_t r) {
                 return std::vector<std::string>{Pick({"Database", "Scheduler", "WebFrontEnd"}, r),
                                                 std::to_string(9 - 2 * r)};
               }},
              {"QRV-Backup", 110,
               [](size_t r) {
                 return std::vector<std::string>{Pick({"%%1002", "%%1001", "%%1003"}, r),
                                                 Pick({"C:", "D:"}, r), std::to_string(3 + 4 * r)};
               }},
              {"QRV-Inventory", 2010,
               [](size_t r) {
                 return std::vector<std::string>{
                     Pick({"C:\\Tools\\legacy-report.exe", "C:\\Program Files\\Contoso\\agent.exe",
                           "D:\\Apps\\unknown-setup.exe"},
                          r)};
               }},
              {"QRV-Health-Monitor", 1003,
               [](size_t r) {
                 return std::vector<std::string>{
                     Pick({"WebFrontEnd", "Database", "Scheduler"}, r),
                     Pick({"0x80070005", "0x800705B4", "0x80004005"}, r)};
               }},
              {"QRV-Backup", 120,
               [](size_t r) {
                 return std::vector<std::string>{
                     Pick({"%%1002", "%%1003", "%%1001"}, r), Pick({"D:", "C:"}, r),
                     Pick({"\\\\backup01\\vault", "\\\\backup02\\vault"}, r)};
               }},
              {"QRV-Health-Monitor", 1000,
               [](size_t r) {
                 return std::vector<std::string>{Pick({"Database", "WebFrontEnd", "Scheduler"}, r),
                                                 Pick({"the transaction log disk is full",
                                                       "no worker process answered for 300 seconds",
                                                       "the job store could not be opened"},
                                                      r)};
               }},
              {"QRV-Backup", 130,
               [](size_t r) {
                 return std::vector<std::string>{
                     Pick({"Projects", "Mail archive", "Home folders"}, r), Pick({"D:", "C:"}, r)};
               }},
          }};
}

ChannelPlan SystemPlan() {
  const auto service = [](size_t r) {
    return Pick({"QRV Sample Agent", "Print Spooler", "Windows Update"}, r);
  };
  const char* disk = "\\Device\\Harddisk1\\DR1";
  return {
      "System",
      3,
      3 * 60,
      716,
      "",
      {
          {"QRV-ServiceControl", 7036,
           [service](size_t r) {
             return std::vector<std::string>{service(r), "running"};
           }},
          {"QRV-ServiceControl", 7036,
           [](size_t r) {
             return std::vector<std::string>{
                 Pick({"Background Intelligent Transfer Service", "Windows Time"}, r), "running"};
           }},
          {"QRV-ServiceControl", 7040,
           [service](size_t r) {
             return std::vector<std::string>{service(r), Pick({"demand start", "auto start"}, r),
                                             Pick({"auto start", "demand start"}, r)};
           }},
          {"QRV-Disk", 153,
           [](size_t r) {
             return std::vector<std::string>{Hex(0x3a2f100 + 0x3d1 * r), "1"};
           }},
          {"QRV-ServiceControl", 7011,
           [service](size_t r) {
             return std::vector<std::string>{"30000", service(r)};
           }},
          {"QRV-ServiceControl", 7036,
           [service](size_t r) {
             return std::vector<std::string>{service(r), "stopped"};
           }},
          {"QRV-ServiceControl", 7031,
           [service](size_t r) {
             return std::vector<std::string>{service(r), std::to_string(1 + r)};
           }},
          {"QRV-Disk", 51, [disk](size_t) { return std::vector<std::string>{disk}; }},
          {"QRV-Disk", 7, [disk](size_t) { return std::vector<std::string>{disk}; }},
          {"QRV-ServiceControl", 7036,
           [](size_t r) {
             return std::vector<std::string>{
                 Pick({"Background Intelligent Transfer Service", "Windows Time"}, r), "stopped"};
           }},
      }};
}

ChannelPlan SecurityPlan() {
  const char* domain = "QRVSAMPLE";
  return {
      "Security",
      4,
      11 * 60,
      724,
      "",
      {
          {"Microsoft-Windows-Security-Auditing", 4624,
           [domain](size_t r) {
             return std::vector<std::string>{Pick({"alice", "carol"}, r), domain, "2", "127.0.0.1"};
           }},
          {"Microsoft-Windows-Security-Auditing", 4672,
           [domain](size_t r) {
             return std::vector<std::string>{
                 Pick({"alice", "carol"}, r), domain,
                 "SeBackupPrivilege SeRestorePrivilege SeDebugPrivilege"};
           }},
          {"Microsoft-Windows-Security-Auditing", 4625,
           [domain](size_t r) {
             return std::vector<std::string>{Pick({"bob", "mallory"}, r), domain, "%%2313",
                                             Pick({"10.0.4.37", "10.0.9.200"}, r)};
           }},
          {"Microsoft-Windows-Security-Auditing", 4625,
           [domain](size_t r) {
             return std::vector<std::string>{Pick({"bob", "mallory"}, r), domain, "%%2313",
                                             Pick({"10.0.4.37", "10.0.9.200"}, r)};
           }},
          {"Microsoft-Windows-Security-Auditing", 4624,
           [domain](size_t) {
             return std::vector<std::string>{"svc-backup", domain, "5", "-"};
           }},
          {"Microsoft-Windows-Security-Auditing", 4634,
           [domain](size_t r) {
             return std::vector<std::string>{Pick({"alice", "carol"}, r), domain, "2"};
           }},
          {"Microsoft-Windows-Security-Auditing", 4625,
           [domain](size_t r) {
             return std::vector<std::string>{Pick({"bob", "mallory"}, r), domain, "%%2307",
                                             Pick({"10.0.4.37", "10.0.9.200"}, r)};
           }},
          {"Microsoft-Windows-Security-Auditing", 4740,
           [](size_t r) {
             return std::vector<std::string>{Pick({"bob", "mallory"}, r), "WKS-0042"};
           }},
          {"Microsoft-Windows-Security-Auditing", 4624,
           [domain](size_t r) {
             return std::vector<std::string>{Pick({"dave", "erin"}, r), domain, "3",
                                             Pick({"10.0.4.21", "10.0.4.22"}, r)};
           }},
          {"Microsoft-Windows-Security-Auditing", 4634,
           [domain](size_t) {
             return std::vector<std::string>{"svc-backup", domain, "5"};
           }},
      }};
}

ChannelPlan OperationalPlan() {
  const auto folder = [](size_t r) {
    return Pick(
        {"C:\\Users\\alice\\Documents", "D:\\Shares\\Projects", "C:\\Users\\carol\\Desktop"}, r);
  };
  return {"Microsoft-Windows-QRV-Sample/Operational",
          3,
          19 * 60,
          5120,
          kLocalSystemSid,
          {
              {"Microsoft-Windows-QRV-Sample", 104,
               [](size_t r) {
                 return std::vector<std::string>{std::to_string(12 + 5 * r), "SyncStore-A"};
               }},
              {"Microsoft-Windows-QRV-Sample", 100,
               [folder](size_t r) {
                 return std::vector<std::string>{folder(r), "https://files.corp.example/sync",
                                                 std::to_string(31 + 9 * r)};
               }},
              {"Microsoft-Windows-QRV-Sample", 100,
               [folder](size_t r) {
                 return std::vector<std::string>{folder(r + 1), "https://files.corp.example/sync",
                                                 std::to_string(4 + r)};
               }},
              {"Microsoft-Windows-QRV-Sample", 101,
               [folder](size_t r) {
                 return std::vector<std::string>{folder(r), std::to_string(95 + 20 * r), "640"};
               }},
              {"Microsoft-Windows-QRV-Sample", 100,
               [folder](size_t r) {
                 return std::vector<std::string>{folder(r + 2), "https://files.corp.example/sync",
                                                 std::to_string(2 * r)};
               }},
              {"Microsoft-Windows-QRV-Sample", 102,
               [folder](size_t r) {
                 return std::vector<std::string>{
                     folder(r), Pick({"0x80072EE7", "0x80070070", "0x80072EFD"}, r)};
               }},
              {"Microsoft-Windows-QRV-Sample", 104,
               [](size_t r) {
                 return std::vector<std::string>{std::to_string(3 + r), "SyncStore-B"};
               }},
              {"Microsoft-Windows-QRV-Sample", 103,
               [](size_t r) {
                 return std::vector<std::string>{
                     Pick({"SyncStore-B", "SyncStore-A", "SyncStore-C"}, r)};
               }},
          }};
}

void AddChannel(const SampleImage& image, const ChannelPlan& plan, std::vector<SampleEvent>* out) {
  const size_t count = plan.rounds * plan.slots.size();
  // Even spacing over the window, less an hour for the offset and jitter.
  const uint64_t step = (kEventsEnd - kEventsBegin - 3600 * evtx::kTicksPerSecond) / count;
  const std::string computer = image.computer_name + kDnsSuffix;
  for (size_t i = 0; i < count; ++i) {
    const Slot& slot = plan.slots[i % plan.slots.size()];
    const size_t round = i / plan.slots.size();
    const SampleProvider* provider = image.FindProvider(slot.provider);
    const DeclaredEvent* declared =
        provider == nullptr ? nullptr : provider->FindEvent(slot.event_id);
    if (declared == nullptr) continue;  // a plan naming an undeclared event: caught by the tests
    SampleEvent event;
    event.inserts = slot.inserts(round);
    evtx::WriterEvent& r = event.record;
    r.provider_name = provider->name;
    if (provider->is_manifest()) r.provider_guid = ParseGuidText(provider->guid);
    r.event_id = declared->id;
    r.qualifiers = declared->qualifiers;
    r.version = declared->version;
    r.level = declared->level;
    r.task = declared->task;
    r.opcode = declared->opcode;
    r.keywords = declared->keywords;
    // Jitter under 10 minutes keeps the records in time order.
    const uint64_t jitter_ms = (i * 7919 % 541) * 1000 + i * 137 % 1000;
    r.time_created = kEventsBegin + plan.offset_seconds * evtx::kTicksPerSecond + i * step +
                     jitter_ms * 10000 + i * 1237 % 10000;
    r.record_id = i + 1;
    r.process_id = plan.process_id;
    r.thread_id = plan.process_id + 4 * (1 + i % 6);
    r.channel = plan.channel;
    r.computer = computer;
    r.user_sid = plan.user_sid;
    for (size_t d = 0; d < declared->data_names.size(); ++d) {
      const std::string value = d < event.inserts.size() ? event.inserts[d] : std::string();
      r.event_data.push_back({declared->data_names[d], evtx::WriterValue::String(value)});
    }
    out->push_back(std::move(event));
  }
}

}  // namespace

std::vector<SampleEvent> MakeSampleEvents(const SampleImage& image) {
  std::vector<SampleEvent> events;
  for (const ChannelPlan& plan :
       {ApplicationPlan(), SystemPlan(), SecurityPlan(), OperationalPlan()}) {
    AddChannel(image, plan, &events);
  }
  return events;
}

}  // namespace qrv::sample
