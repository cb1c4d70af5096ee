// The message catalogue over a fake registry and an in-memory image: provider
// lookup, manifest and classic messages, inserts and parameters, MUI
// redirection, damaged files, and files parsed once.
#include "platform/offline/messages/message_catalog.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "message_fixture.h"
#include "platform/registry_layout.h"

namespace qrv::offline {
namespace {

using pe::MessageEncoding;
using test::Event;
using test::MakeGuid;
using test::MemoryImage;

constexpr char kSys32[] = "C:\\Windows\\System32\\";

class MessageCatalogTest : public ::testing::Test {
 protected:
  MessageCatalog& Catalog() {
    if (!catalog_) {
      catalog_ = std::make_unique<MessageCatalog>(fake_.registry,
                                                  image_.Resolver(), image_);
    }
    return *catalog_;
  }
  std::shared_ptr<const MessageProvider> Open(const std::string& name) {
    uint32_t error = 0xDEAD;
    auto provider = Catalog().Open(name, &error);
    EXPECT_EQ(error, provider ? kErrorSuccess : kErrorFileNotFound) << name;
    return provider;
  }
  // "<code>" on failure, else the text; a text with unresolved inserts
  // (15029) is followed by "<15029>".
  static std::string Shown(uint32_t error, const std::string& text) {
    if (error == kErrorSuccess) return text;
    const std::string code = "<" + std::to_string(error) + ">";
    return error == kErrorEvtUnresolvedValueInsert ? text + code : code;
  }
  static std::string Message(const MessageProvider& provider,
                             const EventMessageRequest& request) {
    std::string text;
    return Shown(provider.FormatEvent(request, &text), text);
  }
  static std::string Id(const MessageProvider& provider, uint32_t id) {
    std::string text;
    return Shown(provider.FormatMessageId(id, {}, &text), text);
  }

  fake::FakePlatform fake_;
  MemoryImage image_;
  std::unique_ptr<MessageCatalog> catalog_;
};

EventMessageRequest Request(uint16_t id, uint8_t version = 0,
                            std::vector<std::string> inserts = {}) {
  EventMessageRequest request;
  request.event_id = id;
  request.version = version;
  request.inserts = std::move(inserts);
  return request;
}

TEST_F(MessageCatalogTest, ManifestEventsByIdAndVersion) {
  const pe::Guid guid = MakeGuid(0x10);
  image_.Add(std::string(kSys32) + "demo.dll",
             pe::BuildPeImage(
                 {test::ManifestResource(test::OneProvider(
                      guid, {Event(1, 0, 0xB0000001), Event(1, 1, 0xB0000002),
                             Event(2, 0, pe::kNoMessageId),
                             Event(3, 0, 0xB0000099)})),
                  test::TableResource(
                      {{0xB0000001, "Old %1 started.\r\n"},
                       {0xB0000002, "New %1 started by %2.\r\n"}})}));
  test::RegisterPublisher(fake_.registry, guid.ToString(), "Demo-Provider",
                          {"%SystemRoot%\\System32\\demo.dll",
                           "%SystemRoot%\\System32\\demo.dll", ""});
  auto provider = Open("Demo-Provider");
  ASSERT_NE(provider, nullptr);
  ASSERT_EQ(provider->events().size(), 4u);
  EXPECT_EQ(provider->events()[1].message_id, 0xB0000002u);

  EXPECT_EQ(Message(*provider, Request(1, 0, {"svc"})), "Old svc started.\r\n");
  EXPECT_EQ(Message(*provider, Request(1, 1, {"svc", "me"})),
            "New svc started by me.\r\n");
  // A version the manifest lacks still finds the id's definition.
  EXPECT_EQ(Message(*provider, Request(1, 7, {"svc"})), "Old svc started.\r\n");
  EXPECT_EQ(Message(*provider, Request(2)), "<15028>");  // no message id
  EXPECT_EQ(Message(*provider, Request(3)), "<15027>");  // id not in the table
  EXPECT_EQ(Message(*provider, Request(4)), "<15027>");  // not defined
  EXPECT_EQ(Id(*provider, 0xB0000001), "Old %1 started.\r\n<15029>");
  EXPECT_EQ(Id(*provider, 0xB0000003), "<15027>");
}

TEST_F(MessageCatalogTest, AmbiguousDefinitionsMatchTheOtherDescriptorFields) {
  const pe::Guid guid = MakeGuid(0x20);
  pe::WevtEvent op = Event(5, 0, 0xB0000010);
  op.channel = 16;
  op.opcode = 1;
  pe::WevtEvent admin = Event(5, 0, 0xB0000011);
  admin.channel = 17;
  admin.opcode = 2;
  admin.level = 2;
  image_.Add(std::string(kSys32) + "amb.dll",
             pe::BuildPeImage(
                 {test::ManifestResource(test::OneProvider(
                      guid, {op, admin},
                      {{16, "Amb/Operational", pe::kNoMessageId},
                       {17, "Amb/Admin", pe::kNoMessageId}})),
                  test::TableResource({{0xB0000010, "operational"},
                                       {0xB0000011, "admin"}})}));
  test::RegisterPublisher(fake_.registry, guid.ToString(), "Amb",
                          {"C:\\Windows\\System32\\amb.dll",
                           "C:\\Windows\\System32\\amb.dll", ""});
  auto provider = Open("amb");
  ASSERT_NE(provider, nullptr);
  EventMessageRequest request = Request(5);
  request.channel = "amb/admin";
  request.opcode = 2;
  request.level = 2;
  EXPECT_EQ(Message(*provider, request), "admin");
  request.channel.clear();
  EXPECT_EQ(Message(*provider, request), "admin");
  request.channel = "Amb/Operational";
  request.opcode = 1;
  request.level = 0;
  EXPECT_EQ(Message(*provider, request), "operational");
  // Partial agreement: the definition agreeing on more fields wins.
  request.opcode = 0;
  EXPECT_EQ(Message(*provider, request), "operational");
  request.channel = "Amb/Admin";
  request.level = 2;
  EXPECT_EQ(Message(*provider, request), "admin");
}

TEST_F(MessageCatalogTest, ClassicFullIdAcrossSeveralMessageFiles) {
  image_.Add(std::string(kSys32) + "first.dll",
             test::MessageDll({{1, "first one\r\n"}, {0xC0000002, "error two"}}));
  image_.Add(std::string(kSys32) + "second.dll",
             test::MessageDll({{1, "second one\r\n"},
                               {0x40001B7C, "The %1 service entered the %2 state."}}));
  test::RegisterSource(fake_.registry, "System", "Service Control Manager",
                       {"%SystemRoot%\\System32\\first.dll; "
                        "%SystemRoot%\\System32\\second.dll",
                        "", ""});
  // A Vista-and-later registry (it has the publishers key).
  fake_.registry.AddKey(kPublisherKey);
  auto provider = Open("SERVICE CONTROL MANAGER");
  ASSERT_NE(provider, nullptr);
  EXPECT_TRUE(provider->events().empty());  // classic: no definitions

  EventMessageRequest request = Request(7036, 0, {"Spooler", "running"});
  request.qualifiers = 0x4000;
  EXPECT_EQ(Message(*provider, request),
            "The Spooler service entered the running state.");
  request = Request(2);
  request.qualifiers = 0xC000;
  EXPECT_EQ(Message(*provider, request), "error two");
  // The id without its qualifiers is another message, absent here.
  request.qualifiers = 0;
  EXPECT_EQ(Message(*provider, request), "<15027>");
  // Files are searched in their registered order.
  request = Request(1);
  request.qualifiers = 0;
  EXPECT_EQ(Message(*provider, request), "first one\r\n");
  // An event logged without qualifiers is looked up by its bare id.
  EXPECT_EQ(Message(*provider, Request(1)), "first one\r\n");
}

// A registry without WINEVT\Publishers is an XP-era machine's: a classic
// source declares its event message file's ids, less the category ids
// 1..CategoryCount when its CategoryMessageFile is that same file.
TEST_F(MessageCatalogTest, XpSourcesDeclareTheirMessageTables) {
  image_.Add(std::string(kSys32) + "netevent.dll",
             test::MessageDll({{1, "Devices"},
                               {2, "Disk"},
                               {0xC0001B7B, "failed"},
                               {0x40001B7B, "sent"},
                               {0x80001775, "shutdown"}}));
  image_.Add(std::string(kSys32) + "cats.dll",
             test::MessageDll({{1, "Other"}}));
  const std::vector<uint32_t> all = {1, 2, 0x40001B7B, 0x80001775, 0xC0001B7B};
  const struct {
    const char* source;
    const char* category_file;
    char category_count;  // 0: no CategoryCount value
    std::vector<uint32_t> ids;
  } cases[] = {
      // The same file spelled otherwise.
      {"SameFile", "C:\\WINDOWS\\system32\\NETEVENT.DLL", 1,
       {2, 0x40001B7B, 0x80001775, 0xC0001B7B}},
      {"NoCount", "%SystemRoot%\\System32\\netevent.dll", 0, all},
      {"OtherFile", "%SystemRoot%\\System32\\cats.dll", 2, all},
  };
  for (const auto& c : cases) {  // all registered before the index is built
    test::RegisterSource(fake_.registry, "System", c.source,
                         {"%SystemRoot%\\System32\\netevent.dll", "", ""});
    const std::string key =
        std::string(test::kEventLog) + "System\\" + c.source;
    fake_.registry.SetValue(key, "CategoryMessageFile",
                            std::string(c.category_file) + '\0', kRegExpandSz);
    if (c.category_count != 0) {
      fake_.registry.SetValue(key, "CategoryCount",
                              std::string({c.category_count, 0, 0, 0}),
                              kRegDword);
    }
  }
  for (const auto& c : cases) {
    auto provider = Open(c.source);
    ASSERT_NE(provider, nullptr);
    std::vector<std::pair<uint32_t, uint32_t>> listed, expected;
    for (const pe::WevtEvent& event : provider->events()) {
      listed.emplace_back(event.id, event.message_id);
    }
    for (const uint32_t id : c.ids) expected.emplace_back(id & 0xFFFF, id);
    EXPECT_EQ(listed, expected) << c.source;
  }
}

TEST_F(MessageCatalogTest, InsertsParametersAndEscapes) {
  image_.Add(std::string(kSys32) + "msgs.dll",
             test::MessageDll(
                 {{100, "User %1 did %2 (%3).%nAccess: %%1833%tDone %%9999 100%%"},
                  {101, "Caf\xC3\xA9 %1", MessageEncoding::kAnsi},
                  {102, "\xE6\x97\xA5\xE6\x9C\xAC %1%0 trailing"}}));
  image_.Add(std::string(kSys32) + "params.dll",
             test::MessageDll({{1833, "Yes\r\n"}, {1842, "No\r\n"}}));
  test::RegisterSource(fake_.registry, "Security", "Auditor",
                       {"C:\\Windows\\System32\\msgs.dll",
                        "C:\\Windows\\System32\\params.dll", ""});
  auto provider = Open("auditor");
  ASSERT_NE(provider, nullptr);
  EventMessageRequest request = Request(100, 0, {"bob", "%%1842"});
  request.qualifiers = 0;
  // %3 has no value and stays visible; %%n in a value is resolved too; an
  // unknown parameter stays as written.
  EXPECT_EQ(Message(*provider, request),
            "User bob did No (%3).\r\nAccess: Yes\tDone %%9999 100%<15029>");
  request = Request(101, 0, {"ouvert"});
  EXPECT_EQ(Message(*provider, request), "Caf\xC3\xA9 ouvert");
  request = Request(102, 0, {"x"});
  EXPECT_EQ(Message(*provider, request), "\xE6\x97\xA5\xE6\x9C\xAC x");
}

TEST_F(MessageCatalogTest, ExpansionIsBoundedWhateverTheInserts) {
  std::string many_refs;
  for (int i = 0; i < 4000; ++i) many_refs += "%1%2";
  image_.Add(std::string(kSys32) + "big.dll",
             test::MessageDll({{1, many_refs}}));
  image_.Add(std::string(kSys32) + "bigparams.dll",
             test::MessageDll({{7, std::string(4000, 'p')}}));
  test::RegisterSource(fake_.registry, "Application", "Big",
                       {"C:\\Windows\\System32\\big.dll",
                        "C:\\Windows\\System32\\bigparams.dll", ""});
  auto provider = Open("Big");
  ASSERT_NE(provider, nullptr);
  std::string parameters;
  for (int i = 0; i < 1000; ++i) parameters += "%%7";
  // Unbounded, this would be 4000 copies of 1 MiB and of 4 MB.
  EventMessageRequest request =
      Request(1, 0, {std::string(1 << 20, 'x'), parameters});
  request.qualifiers = 0;
  const std::string text = Message(*provider, request);
  EXPECT_LE(text.size(), 2u << 20);
  EXPECT_EQ(text.substr(0, 3), "xxx");
  EXPECT_NE(text.find("pppp"), std::string::npos);
  EXPECT_NE(text.find("%%7"), std::string::npos);  // past the parameter cap
  // A multi-byte character is never cut in half.
  // (Each insert gets an odd number of bytes here, 129.)
  std::string e_acute;
  for (int i = 0; i < (1 << 18); ++i) e_acute += "\xC3\xA9";
  request.inserts = {e_acute, ""};
  const std::string accents = Message(*provider, request);
  EXPECT_EQ(accents.find("\xC3\xC3"), std::string::npos);
  EXPECT_EQ(accents.find("\xA9\xA9"), std::string::npos);
}

TEST_F(MessageCatalogTest, MuiRedirectionPrefersEnglish) {
  image_.Add(std::string(kSys32) + "svc.dll", test::NeutralDll());
  image_.Add(std::string(kSys32) + "de-DE\\svc.dll.mui",
             test::MuiFile({{7, "Deutsch"}}, "de-DE", 0x407));
  image_.Add(std::string(kSys32) + "en-US\\svc.dll.mui",
             test::MuiFile({{7, "English"}}, "en-US", pe::kLangEnUs));
  image_.Add(std::string(kSys32) + "only.dll", test::NeutralDll());
  image_.Add(std::string(kSys32) + "fr-FR\\only.dll.mui",
             test::MuiFile({{7, "Fran\xC3\xA7" "ais"}}, "fr-FR", 0x40C));
  test::RegisterSource(fake_.registry, "Application", "Svc",
                       {"%systemroot%\\system32\\SVC.DLL", "", ""});
  // A bare file name means System32.
  test::RegisterSource(fake_.registry, "Application", "Only",
                       {"only.dll", "", ""});
  auto svc = Open("Svc");
  auto only = Open("Only");
  ASSERT_NE(svc, nullptr);
  ASSERT_NE(only, nullptr);
  EXPECT_EQ(Id(*svc, 7), "English");
  EXPECT_EQ(Id(*only, 7), "Fran\xC3\xA7" "ais");
}

TEST_F(MessageCatalogTest, MissingAndDamagedFilesStillOpen) {
  const pe::Guid guid = MakeGuid(0x30);
  std::vector<uint8_t> garbage(600, 0x4D);
  image_.Add(std::string(kSys32) + "garbage.dll", garbage);
  std::vector<uint8_t> cut = pe::BuildPeImage({test::ManifestResource(
      test::OneProvider(guid, {Event(1, 0, 1)}))});
  cut.resize(cut.size() / 2);
  image_.Add(std::string(kSys32) + "cut.dll", cut);
  test::RegisterPublisher(fake_.registry, guid.ToString(), "Cut-Provider",
                          {"C:\\Windows\\System32\\cut.dll",
                           "C:\\Windows\\System32\\garbage.dll", ""});
  test::RegisterSource(fake_.registry, "Application", "Gone",
                       {"C:\\Windows\\System32\\gone.dll", "", ""});
  test::RegisterSource(fake_.registry, "Application", "NoFiles", {});
  for (const char* name : {"Cut-Provider", "Gone", "NoFiles"}) {
    auto provider = Open(name);
    ASSERT_NE(provider, nullptr) << name;
    EXPECT_TRUE(provider->events().empty()) << name;
    EXPECT_EQ(Id(*provider, 1), "<15027>") << name;
    EventMessageRequest request = Request(1);
    request.qualifiers = 0;
    EXPECT_EQ(Message(*provider, request), "<15027>") << name;
  }
}

TEST_F(MessageCatalogTest, UnknownAndEmptyNamesAreNotFound) {
  test::RegisterSource(fake_.registry, "Application", "Known", {});
  test::RegisterPublisher(fake_.registry, MakeGuid(1).ToString(), "", {});
  EXPECT_EQ(Open("Unknown"), nullptr);
  EXPECT_EQ(Open(""), nullptr);
  EXPECT_EQ(Open("Known "), nullptr);
  EXPECT_NE(Open("kNOWN"), nullptr);
  EXPECT_EQ(fake_.registry.open_keys(), 0);
}

TEST_F(MessageCatalogTest, ClassicSourceLinkedToItsPublisher) {
  const pe::Guid guid = MakeGuid(0x40);
  image_.Add(std::string(kSys32) + "w32time.dll",
             pe::BuildPeImage(
                 {test::ManifestResource(
                      test::OneProvider(guid, {Event(35, 0, 0x10000023)})),
                  test::TableResource({{0x10000023, "Time synced from %1."},
                                       {0x8000000C, "Classic warning"}})}));
  const std::string path = "C:\\Windows\\System32\\w32time.dll";
  test::RegisterPublisher(fake_.registry, guid.ToString(),
                          "Microsoft-Windows-Time-Service", {path, path, ""});
  test::RegisterSource(fake_.registry, "System", "W32Time",
                       {path, "", guid.ToString()});
  auto provider = Open("w32time");
  ASSERT_NE(provider, nullptr);
  ASSERT_EQ(provider->events().size(), 1u);
  EXPECT_EQ(Message(*provider, Request(35, 0, {"ntp"})), "Time synced from ntp.");
  EventMessageRequest request = Request(12);
  request.qualifiers = 0x8000;
  EXPECT_EQ(Message(*provider, request), "Classic warning");
}

TEST_F(MessageCatalogTest, ManifestFromSystemResourcesWhenTheFileHasNone) {
  const pe::Guid guid = MakeGuid(0x50);
  image_.Add(std::string(kSys32) + "modern.dll",
             test::MessageDll({{0xB0000001, "from the table"}}));
  image_.Add("C:\\Windows\\SystemResources\\modern.dll.mun",
             pe::BuildPeImage({test::ManifestResource(
                 test::OneProvider(guid, {Event(9, 0, 0xB0000001)}))}));
  const std::string path = "%SystemRoot%\\System32\\modern.dll";
  test::RegisterPublisher(fake_.registry, guid.ToString(), "Modern",
                          {path, path, ""});
  auto provider = Open("Modern");
  ASSERT_NE(provider, nullptr);
  ASSERT_EQ(provider->events().size(), 1u);
  EXPECT_EQ(Message(*provider, Request(9)), "from the table");
}

TEST_F(MessageCatalogTest, ManifestOfAnotherProviderGivesNoEvents) {
  image_.Add(std::string(kSys32) + "other.dll",
             pe::BuildPeImage({test::ManifestResource(
                 test::OneProvider(MakeGuid(0x60), {Event(1, 0, 1)}))}));
  test::RegisterPublisher(fake_.registry, MakeGuid(0x61).ToString(), "Mine",
                          {"C:\\Windows\\System32\\other.dll", "", ""});
  auto provider = Open("Mine");
  ASSERT_NE(provider, nullptr);
  EXPECT_TRUE(provider->events().empty());
}

TEST_F(MessageCatalogTest, FilesAndIndexesAreReadOnce) {
  image_.Add(std::string(kSys32) + "shared.dll", test::MessageDll({{1, "one"}}));
  image_.Add(std::string(kSys32) + "neutral.dll", test::NeutralDll());
  image_.Add(std::string(kSys32) + "en-US\\neutral.dll.mui",
             test::MuiFile({{2, "two"}}, "en-US", pe::kLangEnUs));
  test::RegisterSource(fake_.registry, "Application", "A",
                       {"%SystemRoot%\\System32\\shared.dll;"
                        "%SystemRoot%\\System32\\neutral.dll",
                        "", ""});
  test::RegisterSource(fake_.registry, "System", "B",
                       {"C:\\WINDOWS\\system32\\Shared.dll;neutral.dll", "", ""});
  for (int round = 0; round < 5; ++round) {
    for (const char* name : {"A", "b", "Unknown"}) {
      auto provider = Open(name);
      if (provider == nullptr) continue;
      EXPECT_EQ(Id(*provider, 1), "one");
      EXPECT_EQ(Id(*provider, 2), "two");
    }
  }
  EXPECT_EQ(image_.reads(std::string(kSys32) + "shared.dll"), 1);
  EXPECT_EQ(image_.reads(std::string(kSys32) + "neutral.dll"), 1);
  EXPECT_EQ(image_.reads(std::string(kSys32) + "en-US\\neutral.dll.mui"), 1);
  // The EventLog key, its two logs: one enumeration walk each, once.
  const int enumerations = fake_.faults.Count(fake::Call::kRegEnumKeyA);
  Open("A");
  Open("Unknown");
  EXPECT_EQ(fake_.faults.Count(fake::Call::kRegEnumKeyA), enumerations);
  EXPECT_EQ(fake_.registry.open_keys(), 0);
}

TEST_F(MessageCatalogTest, RegistryFailuresLeaveNoKeyOpen) {
  image_.Add(std::string(kSys32) + "x.dll", test::MessageDll({{1, "x"}}));
  // Fail the Nth registry call of each kind, for every N the walk reaches;
  // whatever is found, every key opened is closed again.
  for (const fake::Call call :
       {fake::Call::kRegOpenKeyA, fake::Call::kRegEnumKeyA,
        fake::Call::kRegQueryValueExA}) {
    for (int nth = 1; nth < 16; ++nth) {
      fake::FakePlatform fake;
      fake.faults.Fail(call, nth, kErrorAccessDenied);
      test::RegisterPublisher(fake.registry, MakeGuid(0x70).ToString(), "Pub",
                              {"", "C:\\Windows\\System32\\x.dll", ""});
      test::RegisterSource(fake.registry, "Application", "Src",
                           {"C:\\Windows\\System32\\x.dll", "", ""});
      MessageCatalog catalog(fake.registry, image_.Resolver(), image_);
      for (const char* name : {"Pub", "Src"}) {
        uint32_t error = 0;
        auto provider = catalog.Open(name, &error);
        if (provider != nullptr) {
          std::string text;
          const uint32_t status = provider->FormatMessageId(1, {}, &text);
          EXPECT_TRUE(status == kErrorSuccess ? text == "x"
                                              : status == kErrorEvtMessageNotFound);
        } else {
          EXPECT_EQ(error, kErrorFileNotFound);
        }
      }
      EXPECT_EQ(fake.registry.open_keys(), 0) << nth;
      EXPECT_TRUE(fake.registry.violations().empty()) << nth;
    }
  }
}

}  // namespace
}  // namespace qrv::offline
