// The sample image's hives, with the keys and values Windows keeps for the
// event log: the service's logs and event sources in SYSTEM, the publishers
// and channels of the manifest world in SOFTWARE. Paths to files are written
// with %SystemRoot%, as installers and the service register them.
#include <algorithm>
#include <string>

#include "formats/regf/hive_writer.h"
#include "tools/sample_image_files.h"

namespace qrv::sample {
namespace {

constexpr char kSystemRootPrefix[] = "%SystemRoot%\\System32\\";
// What Windows sets for the three classic logs.
constexpr uint32_t kClassicLogMaxSize = 20971520;
// The default for manifest channels (1 MiB plus a 4 KiB header block).
constexpr uint32_t kChannelMaxSize = 1052672;
// TypesSupported: error, warning and information.
constexpr uint32_t kClassicTypesSupported = 0x7;

std::string System32Path(std::string_view file) { return kSystemRootPrefix + std::string(file); }

// Every key gets the same write time so the hive bytes never depend on when
// the image was made. The tree is the generator's own and a few levels deep.
void StampKeys(regf::WriterKey* key, uint64_t time) {
  key->set_last_write_time(time);
  for (const auto& child : key->subkeys()) StampKeys(child.get(), time);
}

// EventMessageFile: the source's own file, then each other file one of its
// messages lives in, in first-use order, separated by ';'.
std::string EventMessageFiles(const SampleProvider& p) {
  std::vector<std::string> files = {p.file};
  for (const DeclaredEvent& e : p.events) {
    if (!e.message_file.empty() &&
        std::find(files.begin(), files.end(), e.message_file) == files.end()) {
      files.push_back(e.message_file);
    }
  }
  std::string out;
  for (const std::string& f : files) {
    if (!out.empty()) out += ';';
    out += System32Path(f);
  }
  return out;
}

void AddEventSource(const SampleProvider& p, regf::WriterKey* log) {
  regf::WriterKey& source = log->AddKey(p.name);
  if (p.is_manifest()) {
    // A manifest provider that logs to a classic log is also registered as
    // that log's source, tied to its publisher key by GUID.
    source.SetString("ProviderGuid", p.guid);
    source.SetString("EventMessageFile", System32Path(p.file), regf::kRegExpandSz);
    return;
  }
  source.SetString("EventMessageFile", EventMessageFiles(p), regf::kRegExpandSz);
  if (p.parameter_file)
    source.SetString("ParameterMessageFile", System32Path(p.file), regf::kRegExpandSz);
  if (!p.categories.empty()) {
    source.SetString("CategoryMessageFile", System32Path(p.file), regf::kRegExpandSz);
    source.SetDword("CategoryCount", static_cast<uint32_t>(p.categories.size()));
  }
  source.SetDword("TypesSupported", kClassicTypesSupported);
}

void AddPublisher(const SampleProvider& p, regf::WriterKey* publishers) {
  regf::WriterKey& key = publishers->AddKey(p.guid);
  key.SetString("", p.name);
  key.SetString("ResourceFileName", System32Path(p.file), regf::kRegExpandSz);
  key.SetString("MessageFileName", System32Path(p.file), regf::kRegExpandSz);
  if (p.parameter_file)
    key.SetString("ParameterFileName", System32Path(p.file), regf::kRegExpandSz);
  key.SetDword("Enabled", 1);
  regf::WriterKey& refs = key.AddKey("ChannelReferences");
  for (size_t i = 0; i < p.channels.size(); ++i) {
    regf::WriterKey& ref = refs.AddKey(std::to_string(i));
    ref.SetString("", p.channels[i].name);
    ref.SetDword("Id", p.channels[i].value);
    ref.SetDword("Flags", 0);
  }
  refs.SetDword("Count", static_cast<uint32_t>(p.channels.size()));
}

void AddChannel(const RegisteredChannel& c, regf::WriterKey* channels) {
  regf::WriterKey& key = channels->AddKey(c.name);
  if (!c.owning_publisher.empty()) key.SetString("OwningPublisher", c.owning_publisher);
  key.SetDword("Enabled", c.enabled ? 1 : 0);
  key.SetDword("Isolation", c.isolation);
  key.SetDword("Type", c.type);
  if (!c.owning_publisher.empty() && c.type == kChannelTypeOperational) {
    key.SetDword("MaxSize", kChannelMaxSize);
    key.SetDword("MaxSizeUpper", 0);
  }
}

std::vector<uint8_t> WriteStamped(regf::WriterKey* root, uint64_t time) {
  StampKeys(root, time);
  regf::WriterOptions options;
  options.timestamp = time;
  return regf::WriteHive(*root, options);
}

}  // namespace

std::vector<uint8_t> BuildSystemHive(const SampleImage& image) {
  regf::WriterKey root("ROOT");
  regf::WriterKey& select = root.AddKey("Select");
  select.SetDword("Current", 1);
  select.SetDword("Default", 1);
  select.SetDword("Failed", 0);
  select.SetDword("LastKnownGood", 1);

  regf::WriterKey& control_set = root.AddKey("ControlSet001");
  control_set.AddPath("Control\\ComputerName\\ComputerName")
      .SetString("ComputerName", image.computer_name);
  control_set.AddPath("Control\\Session Manager\\Environment")
      .SetString("windir", "%SystemRoot%", regf::kRegExpandSz);

  regf::WriterKey& service = control_set.AddPath("Services\\EventLog");
  service.SetString("ImagePath",
                    "%SystemRoot%\\System32\\svchost.exe -k LocalServiceNetworkRestricted -p",
                    regf::kRegExpandSz);
  service.SetString("ObjectName", "NT AUTHORITY\\LocalService");
  service.SetDword("Start", 2);
  service.SetDword("Type", 0x20);
  for (const std::string& log_name : image.classic_logs) {
    regf::WriterKey& log = service.AddKey(log_name);
    log.SetString("File", "%SystemRoot%\\System32\\Winevt\\Logs\\" + LogFileName(log_name),
                  regf::kRegExpandSz);
    log.SetDword("MaxSize", kClassicLogMaxSize);
    log.SetDword("Retention", 0);
    for (const SampleProvider& p : image.providers) {
      if (p.classic_log == log_name) AddEventSource(p, &log);
    }
  }
  // Not logs: the service's own settings, and the state key Windows Server
  // 2019 and later keep beside the logs.
  service.AddKey("Parameters")
      .SetString("ServiceDll", System32Path("wevtsvc.dll"), regf::kRegExpandSz);
  service.AddKey("State");
  return WriteStamped(&root, image.registry_time);
}

std::vector<uint8_t> BuildSoftwareHive(const SampleImage& image) {
  regf::WriterKey root("ROOT");
  // The build the sample machine says it runs, as Windows 10 22H2 writes it.
  regf::WriterKey& version = root.AddPath("Microsoft\\Windows NT\\CurrentVersion");
  version.SetString("SystemRoot", "C:\\Windows");
  version.SetString("CurrentBuild", "19045");
  version.SetString("CurrentBuildNumber", "19045");
  version.SetDword("UBR", 3803);
  version.SetString("ProductName", "Windows 10 Pro");
  version.SetString("InstallationType", "Client");
  regf::WriterKey& winevt = root.AddPath("Microsoft\\Windows\\CurrentVersion\\WINEVT");
  regf::WriterKey& publishers = winevt.AddKey("Publishers");
  for (const SampleProvider& p : image.providers) {
    if (p.is_manifest()) AddPublisher(p, &publishers);
  }
  regf::WriterKey& channels = winevt.AddKey("Channels");
  for (const RegisteredChannel& c : image.channels) AddChannel(c, &channels);
  return WriteStamped(&root, image.registry_time);
}

}  // namespace qrv::sample
