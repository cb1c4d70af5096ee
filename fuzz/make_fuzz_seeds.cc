// Writes starting inputs for the fuzz targets with the project's own writers:
// small but complete hives, PE images, resource blobs, event logs and queries
// that reach every record kind the readers know, so fuzzing starts deep instead of at the
// signature check.
//
// Usage: make_fuzz_seeds OUT_DIR   writes OUT_DIR/<target>/<name> files.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "formats/evt/evt_writer.h"
#include "formats/evtx/chunk_decoder.h"
#include "formats/evtx/event_tree.h"
#include "formats/evtx/evtx_writer.h"
#include "formats/evtx/file_reader.h"
#include "formats/evtx/system_properties.h"
#include "formats/pe/message_table.h"
#include "formats/pe/mui_resource.h"
#include "formats/pe/pe_writer.h"
#include "formats/pe/resource_tree.h"
#include "formats/pe/resource_writer.h"
#include "formats/pe/wevt_manifest.h"
#include "formats/regf/hive_writer.h"
#include "formats/regf/value.h"
#include "formats/regf/writer_key.h"

namespace {

using Blob = std::vector<uint8_t>;

constexpr uint16_t kLangDeDe = 0x0407;

class SeedWriter {
 public:
  explicit SeedWriter(std::filesystem::path root) : root_(std::move(root)) {}

  void Write(const std::string& target, const std::string& name, const Blob& bytes) {
    const auto folder = root_ / target;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (error || !out) {
      std::fprintf(stderr, "cannot write %s/%s\n", folder.string().c_str(), name.c_str());
      ok_ = false;
    }
  }
  bool ok() const { return ok_; }

 private:
  std::filesystem::path root_;
  bool ok_ = true;
};

// --- hives ---------------------------------------------------------------

// One key with a value of every type, odd names, a class name and a value
// too large for one cell (written as big data in minor version 5).
void FillValueKinds(regf::WriterKey& key) {
  key.set_class_name("Class");
  key.set_last_write_time(0x01D9000000000000);
  key.SetString("", "default value");
  key.SetString("Text", "plain %SystemRoot%");
  key.SetString("Expand", "%SystemRoot%\\System32\\wevtapi.dll", regf::kRegExpandSz);
  key.SetMultiString("Multi", {"first", "", "third"});
  key.SetDword("Dword", 0x12345678);
  key.SetQword("Qword", 0x0123456789ABCDEF);
  key.SetValue("BigEndian", regf::kRegDwordBigEndian, {1, 2, 3, 4});
  key.SetValue("Binary", regf::kRegBinary, {0, 1, 2, 3, 0xFF});
  key.SetValue("Empty", regf::kRegNone, {});
  key.SetValue("OddUtf16", regf::kRegSz, {'a', 0, 'b'});
  key.SetValue("Rid", 0x3E9, {0xAA});
  key.SetString("N\xC3\xA4me \xE2\x82\xAC", "non-Latin-1 name");
  key.SetValue("Big", regf::kRegBinary, Blob(20000, 0x5A));
}

void WriteHives(SeedWriter& seeds) {
  {
    regf::WriterKey root("CMI-CreateHive{2A7FB991-7BBE-4F9D-B91E-7CB51D4737F5}");
    auto& eventlog = root.AddPath("ControlSet001\\Services\\EventLog");
    for (const char* log : {"Application", "System", "Security"}) {
      auto& channel = eventlog.AddKey(log);
      channel.SetString("File",
                        std::string("%SystemRoot%\\System32\\winevt\\Logs\\") + log + ".evtx",
                        regf::kRegExpandSz);
      channel.SetDword("MaxSize", 20971520);
      auto& source = channel.AddKey(std::string(log) + "Source");
      source.SetString("EventMessageFile", "%SystemRoot%\\System32\\source.dll",
                       regf::kRegExpandSz);
      source.SetString("ProviderGuid", "{A0C1853B-5C40-4B15-8766-3CF1C58F985A}");
    }
    root.AddPath("Select").SetDword("Current", 1);
    seeds.Write("hive", "system_like", regf::WriteHive(root));
  }
  {
    regf::WriterKey root("ROOT");
    FillValueKinds(root.AddPath("Software\\Values"));
    auto& wide = root.AddKey("Wide");
    for (int i = 0; i < 40; ++i) wide.AddKey("sub" + std::to_string(i)).SetDword("i", i);
    regf::WriterOptions options;
    options.max_leaf_entries = 8;  // an "ri" index over five leaves
    seeds.Write("hive", "values_ri_lh", regf::WriteHive(root, options));
    options.list_kind = regf::SubkeyListKind::kLi;
    seeds.Write("hive", "values_ri_li", regf::WriteHive(root, options));
    options = {};
    options.minor_version = 3;  // "lf" lists, large values in one cell
    seeds.Write("hive", "values_v13_lf", regf::WriteHive(root, options));
  }
  {
    regf::WriterKey root("deep");
    regf::WriterKey* key = &root;
    for (int depth = 0; depth < 40; ++depth) key = &key->AddKey("d" + std::to_string(depth));
    key->SetString("Leaf", "bottom");
    seeds.Write("hive", "deep", regf::WriteHive(root));
  }
}

// --- message resources ---------------------------------------------------

Blob SampleMessageTable() {
  return pe::BuildMessageTable({
      {1, "Plain UTF-16 text.\r\n", pe::MessageEncoding::kUtf16},
      {2, "Inserts %1 and %2!s! then %3, %%4 and %%1.%n%r%t%0tail", pe::MessageEncoding::kUtf16},
      {3, "ANSI caf\xC3\xA9 %1", pe::MessageEncoding::kAnsi},
      {4, "UTF-8 \xE2\x82\xAC %99 % %. %! %", pe::MessageEncoding::kUtf8},
      {0x10, "Second block", pe::MessageEncoding::kUtf16},
      {0x40000010, "High id with severity bits", pe::MessageEncoding::kUtf16},
  });
}

pe::WevtManifest SampleManifest() {
  pe::WevtProvider provider;
  provider.guid.bytes = {0x3B, 0x85, 0xC1, 0xA0, 0x40, 0x5C, 0x15, 0x4B,
                         0x87, 0x66, 0x3C, 0xF1, 0xC5, 0x8F, 0x98, 0x5A};
  provider.message_id = 0x90000001;
  provider.channels = {{8, "Application", 0x90000002},
                       {16, "Sample/Operational", pe::kNoMessageId}};
  provider.levels = {{2, "win:Error", 0x50000002}, {4, "win:Informational", 0x50000004}};
  provider.opcodes = {{10, "Sample:Start", 0x3000000A}};
  provider.tasks = {{1, "Sample:Task", 0x70000001, provider.guid}};
  provider.keywords = {{0x1, "Sample:Keyword", 0x10000001},
                       {0x8000000000000000, "Audit", pe::kNoMessageId}};
  pe::WevtEvent event;
  event.id = 1000;
  event.version = 1;
  event.channel = 16;
  event.level = 4;
  event.opcode = 10;
  event.task = 1;
  event.keywords = 0x8000000000000001;
  event.message_id = 0xB00003E8;
  provider.events = {event};
  event.id = 1001;
  event.message_id = pe::kNoMessageId;
  provider.events.push_back(event);
  pe::WevtManifest manifest;
  manifest.major_version = 3;
  manifest.minor_version = 1;
  manifest.providers = {provider};
  return manifest;
}

pe::MuiResource SampleMui(uint32_t file_type, const std::string& language) {
  pe::MuiResource mui;
  mui.version = 0x10000;
  mui.file_type = file_type;
  mui.main_name_types = {"WEVT_TEMPLATE"};
  mui.main_id_types = {16, 24};
  mui.mui_name_types = {"MUI"};
  mui.mui_id_types = {pe::kRtMessageTable, 16};
  mui.language = language;
  mui.fallback_language = "en-US";
  return mui;
}

void WriteMessageResources(SeedWriter& seeds) {
  const Blob table = SampleMessageTable();
  const Blob manifest = pe::BuildWevtManifest(SampleManifest());
  seeds.Write("message_table", "sample", table);
  seeds.Write("wevt_manifest", "sample", manifest);

  const pe::ResourceId message_table = pe::ResourceId::Id(pe::kRtMessageTable);
  const pe::ResourceId wevt = pe::ResourceId::Name(pe::kTypeWevtTemplate);
  const pe::ResourceId mui = pe::ResourceId::Name(pe::kTypeMui);
  const std::vector<pe::WrittenResource> provider_dll = {
      {message_table, pe::ResourceId::Id(1), pe::kLangEnUs, table},
      {message_table, pe::ResourceId::Id(1), kLangDeDe,
       pe::BuildMessageTable({{1, "Deutsch", pe::MessageEncoding::kUtf16}})},
      {wevt, pe::ResourceId::Name("TEMP"), pe::kLangNeutral, manifest},
      {mui, pe::ResourceId::Id(1), pe::kLangNeutral,
       pe::BuildMuiResource(SampleMui(pe::kMuiFileTypeNeutral, ""))},
  };
  seeds.Write("pe_resources", "provider_pe32plus", pe::BuildPeImage(provider_dll));
  seeds.Write("pe_resources", "provider_pe32", pe::BuildPeImage(provider_dll, pe::PeKind::kPe32));
  // A language-neutral file whose messages live in its .mui, and the .mui.
  seeds.Write("pe_resources", "neutral_only",
              pe::BuildPeImage({{mui, pe::ResourceId::Id(1), pe::kLangNeutral,
                                 pe::BuildMuiResource(SampleMui(pe::kMuiFileTypeNeutral, ""))}}));
  seeds.Write(
      "pe_resources", "language_file",
      pe::BuildPeImage({{message_table, pe::ResourceId::Id(1), pe::kLangEnUs, table},
                        {mui, pe::ResourceId::Id(1), pe::kLangNeutral,
                         pe::BuildMuiResource(SampleMui(pe::kMuiFileTypeLanguage, "en-US"))}}));
}

// --- event logs ----------------------------------------------------------

evtx::WriterEvent SampleEvent(uint16_t event_id, uint64_t ticks) {
  evtx::WriterEvent event;
  event.provider_name = "Microsoft-Windows-Security-Auditing";
  event.provider_guid = evtx::GuidBytes{{0x25, 0x96, 0x84, 0x54, 0x78, 0x54, 0x94, 0x49, 0xA5, 0xBA,
                                         0x3E, 0x3B, 0x03, 0x28, 0xC3, 0x0D}};
  event.event_id = event_id;
  event.version = 2;
  event.level = 4;
  event.task = 12544;
  event.keywords = 0x8020000000000000;
  event.time_created = ticks;
  event.process_id = 640;
  event.thread_id = 700;
  event.channel = "Security";
  event.computer = "host.example";
  event.user_sid = "S-1-5-18";
  event.event_data = {
      {"TargetUserName", evtx::WriterValue::String("alice"), false},
      {"LogonType", evtx::WriterValue::Number(evtx::ValueType::kUInt32, 3), false},
      {"Blob", evtx::WriterValue::Binary({0, 1, 0xFF}), false},
      {"When", evtx::WriterValue::SysTime(2024, 3, 1, 12, 0, 0, 5), false},
      {"Ratio", evtx::WriterValue::Real64(0.5), false},
      {"Names", evtx::WriterValue::StringArray({"a", "b"}), false},
      {"Missing", evtx::WriterValue::Null(), true},
  };
  return event;
}

void WriteEventLogs(SeedWriter& seeds) {
  constexpr uint64_t kTicks = 133537392000000000;
  std::vector<evtx::WriterEvent> events;
  for (uint16_t i = 0; i < 4; ++i)
    events.push_back(SampleEvent(4624 + i, kTicks + i * 10000000ull));
  events[1].qualifiers = 0x4000;
  events[1].activity_id = events[0].provider_guid;
  events[2].event_data.clear();
  evtx::WriterNode cleared;
  cleared.name = "LogFileCleared";
  evtx::WriterNode user;
  user.name = "SubjectUserName";
  user.children.push_back({evtx::WriterNode::Kind::kText, "", "bob & <eve>", 0, {}, {}});
  cleared.children.push_back(user);
  events[3].user_data = cleared;
  const Blob file = evtx::WriteEvtx(events);
  seeds.Write("evtx", "security", file);
  evtx::WriterOptions options;
  options.system_index_rotation = 5;
  options.computer_as_substitution = true;
  const Blob rotated = evtx::WriteEvtx(events, options);
  seeds.Write("evtx", "rotated_template", rotated);
  // The first chunk of each, for the chunk decoder on its own.
  for (const auto& [name, bytes] :
       {std::pair{"security", &file}, std::pair{"rotated_template", &rotated}}) {
    if (bytes->size() < evtx::kFileHeaderBlockSize + evtx::kChunkSize) continue;
    seeds.Write("evtx_chunk", name,
                Blob(bytes->begin() + evtx::kFileHeaderBlockSize,
                     bytes->begin() + evtx::kFileHeaderBlockSize + evtx::kChunkSize));
  }
}

// --- legacy event logs ----------------------------------------------------

// A clean log, one wrapped round its ring (a record split at the end of the
// file), and a dirty one whose header is stale.
void WriteLegacyLogs(SeedWriter& seeds) {
  std::vector<evt::WriterRecord> records;
  for (uint32_t n = 1; n <= 12; ++n) {
    evt::WriterRecord r;
    r.number = n;
    r.time_generated = r.time_written = 1700000000 + n;
    r.event_id = 0x40001B7Bu + (n % 3);
    r.event_type = static_cast<uint16_t>(1u << (n % 5));
    r.category = static_cast<uint16_t>(n % 4);
    r.source = u"Service Control Manager";
    r.computer = u"XP";
    if (n % 2 == 0) r.sid = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    r.strings = {u"Telnet", u"%%1053"};
    if (n % 3 == 0) r.data = {1, 2, 3, 4, 5};
    records.push_back(r);
  }
  seeds.Write("evt", "clean", evt::WriteEvtLog(records, {0x1000}));
  seeds.Write("evt", "wrapped", evt::WriteEvtLog(records, {0x1000, 0xF90}));
  seeds.Write("evt", "dirty", evt::WriteEvtLog(records, {0x1000, 0x400, true}));
}

// --- queries -------------------------------------------------------------

// The shapes of query the tool writes itself and the forms users pass.
void WriteQueries(SeedWriter& seeds) {
  const char* const queries[] = {
      "*",
      "",
      "Event/System[EventID=4624]",
      "*[System[(Level=1 or Level=2 or Level=3) and TimeCreated[@SystemTime >= "
      "'2024-03-01T11:00:00.000Z']]]",
      "*[System[Provider[@Name='Microsoft-Windows-Security-Auditing'] and band(Keywords, "
      "0x8000000000000000)]]",
      "*[System[TimeCreated[timediff(@SystemTime) <= 86400000]]]",
      "*[EventData[Data[@Name='TargetUserName']='alice' and Data[2] > 2]]",
      "*[UserData/*/SubjectUserName='bob']",
      "*[System/Security[@UserID='S-1-5-18']]",
      "*[System[EventRecordID >= 0x10 and position() = 1]]",
      "<QueryList><Query Id='0' Path='Security'><Select>Event/System[(Level=4 or Level=0) and "
      "TimeCreated[@SystemTime >= '2024-02-29T12:00:00.000Z']]</Select></Query></QueryList>",
      "<?xml version=\"1.0\"?><QueryList>\n  <Query Id=\"1\">\n    <Select "
      "Path=\"Security\">*</Select>\n"
      "    <Suppress Path=\"Security\">*[System[EventID=4624]]</Suppress>\n  </Query>\n"
      "  <Query Id=\"2\" Path=\"file://C:\\logs\\old.evtx\"><Select>*[System[Level &lt; "
      "3]]</Select></Query>\n"
      "<!-- comment --></QueryList>",
      "<QueryList><Query Id='0'><Select "
      "Path='Application'><![CDATA[*[System[EventID>100]]]]></Select>"
      "</Query></QueryList>",
  };
  int n = 0;
  for (const char* query : queries) {
    const std::string text(query);
    seeds.Write("event_query", "query" + std::to_string(n++), Blob(text.begin(), text.end()));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT_DIR\n", argv[0]);
    return 2;
  }
  SeedWriter seeds{std::filesystem::path(argv[1])};
  WriteHives(seeds);
  WriteMessageResources(seeds);
  WriteEventLogs(seeds);
  WriteLegacyLogs(seeds);
  WriteQueries(seeds);
  return seeds.ok() ? 0 : 1;
}
