// WEVT_TEMPLATE manifests: round trip through the writer, the corpus blobs
// and DLL, and refusal of damaged manifests.
#include "formats/pe/wevt_manifest.h"

#include <gtest/gtest.h>

#include <vector>

#include "formats/pe/message_resources.h"
#include "formats/pe/resource_writer.h"
#include "pe_test_files.h"

namespace pe {
namespace {

Guid MakeGuid(uint8_t seed) {
  Guid g;
  for (size_t i = 0; i < 16; ++i) g.bytes[i] = static_cast<uint8_t>(seed + i);
  return g;
}

WevtManifest SampleManifest() {
  WevtProvider p;
  p.guid = MakeGuid(0x10);
  p.message_id = 0x90000001u;
  p.channels = {{8, "Sample/Operational", 0x90000002u},
                {16, "Sample/Admin", kNoMessageId}};
  p.levels = {{2, "win:Error", 0x50000002u},
              {4, "win:Informational", 0x50000004u}};
  p.opcodes = {{0x000A0000u, "Sample:Begin", 0x3000000Au}};
  p.tasks = {{1, "Startup", 0x70000001u, MakeGuid(0x40)}};
  p.keywords = {{0x0000000000000010ull, "Sample:Network", 0x10000005u},
                {0x8000000000000000ull, "", kNoMessageId}};
  WevtEvent e1;
  e1.id = 100;
  e1.version = 0;
  e1.channel = 8;
  e1.level = 4;
  e1.opcode = 10;
  e1.task = 1;
  e1.keywords = 0x8000000000000010ull;
  e1.message_id = 0xB0000064u;
  WevtEvent e2 = e1;
  e2.version = 1;
  e2.level = 2;
  e2.message_id = 0xB0010064u;
  WevtEvent e3;
  e3.id = 0xFFFF;
  e3.message_id = kNoMessageId;
  e3.flags = 3;
  p.events = {e1, e2, e3};
  WevtManifest m;
  m.major_version = 3;
  m.minor_version = 1;
  m.providers.push_back(p);
  WevtProvider empty;
  empty.guid = MakeGuid(0x80);
  m.providers.push_back(empty);
  return m;
}

template <typename T>
void ExpectNamedEqual(const std::vector<T>& a, const std::vector<T>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].name, b[i].name);
    EXPECT_EQ(a[i].message_id, b[i].message_id);
  }
}

TEST(WevtManifest, RoundTripsThroughWriter) {
  const WevtManifest written = SampleManifest();
  const std::vector<uint8_t> blob = BuildWevtManifest(written);
  WevtManifest read;
  ASSERT_EQ(ParseWevtManifest(blob, &read), PeError::kOk);
  EXPECT_EQ(read.major_version, 3);
  EXPECT_EQ(read.minor_version, 1);
  ASSERT_EQ(read.providers.size(), 2u);
  const WevtProvider& w = written.providers[0];
  const WevtProvider& r = read.providers[0];
  EXPECT_EQ(r.guid, w.guid);
  EXPECT_EQ(r.message_id, w.message_id);
  ExpectNamedEqual(r.channels, w.channels);
  EXPECT_EQ(r.channels[1].value, 16u);
  ExpectNamedEqual(r.levels, w.levels);
  ExpectNamedEqual(r.opcodes, w.opcodes);
  EXPECT_EQ(r.opcodes[0].value, 0x000A0000u);
  ExpectNamedEqual(r.tasks, w.tasks);
  EXPECT_EQ(r.tasks[0].guid, w.tasks[0].guid);
  ExpectNamedEqual(r.keywords, w.keywords);
  EXPECT_EQ(r.keywords[1].mask, 0x8000000000000000ull);
  ASSERT_EQ(r.events.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    const WevtEvent& a = r.events[i];
    const WevtEvent& b = w.events[i];
    EXPECT_EQ(a.id, b.id);
    EXPECT_EQ(a.version, b.version);
    EXPECT_EQ(a.channel, b.channel);
    EXPECT_EQ(a.level, b.level);
    EXPECT_EQ(a.opcode, b.opcode);
    EXPECT_EQ(a.task, b.task);
    EXPECT_EQ(a.keywords, b.keywords);
    EXPECT_EQ(a.message_id, b.message_id);
    EXPECT_EQ(a.flags, b.flags);
    EXPECT_EQ(a.template_offset, 0u);
  }
  EXPECT_EQ(read.providers[1].guid, MakeGuid(0x80));
  EXPECT_TRUE(read.providers[1].events.empty());
}

TEST(WevtManifest, GuidTextUsesWindowsByteOrder) {
  EXPECT_EQ(MakeGuid(0).ToString(), "{03020100-0504-0706-0809-0A0B0C0D0E0F}");
}

TEST(WevtManifest, RefusesDamagedManifests) {
  const std::vector<uint8_t> good = BuildWevtManifest(SampleManifest());
  const uint32_t wevt = pe_test::GetU32(good, 16 + 16);
  WevtManifest m;
  {
    std::vector<uint8_t> blob = good;
    blob[0] = 'X';
    EXPECT_EQ(ParseWevtManifest(blob, &m), PeError::kBadSignature);
  }
  {
    std::vector<uint8_t> blob = good;
    pe_test::PutU32(&blob, 12, 0x01000000u);  // provider count
    EXPECT_EQ(ParseWevtManifest(blob, &m), PeError::kTruncated);
  }
  {
    std::vector<uint8_t> blob = good;
    pe_test::PutU32(&blob, 16 + 16, 0x00FFFFF0u);  // WEVT offset
    EXPECT_EQ(ParseWevtManifest(blob, &m), PeError::kBadOffset);
  }
  {
    std::vector<uint8_t> blob = good;
    pe_test::PutU32(&blob, wevt + 12, 0x40000000u);  // element count
    EXPECT_EQ(ParseWevtManifest(blob, &m), PeError::kBadOffset);
  }
  {
    std::vector<uint8_t> blob = good;
    // The CHAN table (first element) claims a huge count.
    const uint32_t chan = pe_test::GetU32(blob, wevt + 20);
    pe_test::PutU32(&blob, chan + 8, 0x10000000u);
    EXPECT_EQ(ParseWevtManifest(blob, &m), PeError::kBadOffset);
  }
  {
    std::vector<uint8_t> blob = good;
    // The first channel's name offset points past the end.
    const uint32_t chan = pe_test::GetU32(blob, wevt + 20);
    pe_test::PutU32(&blob, chan + 12 + 4, 0xFFFFFFF0u);
    EXPECT_EQ(ParseWevtManifest(blob, &m), PeError::kBadOffset);
  }
  for (size_t cut = 0; cut < good.size(); ++cut) {
    const std::vector<uint8_t> blob(good.begin(), good.begin() + cut);
    EXPECT_NE(ParseWevtManifest(blob, &m), PeError::kOk) << cut;
    EXPECT_TRUE(m.providers.empty());
  }
}

TEST(WevtManifest, ProvidersSharingOneBlockCannotMultiplyOutput) {
  // 1000 provider descriptors all naming the same WEVT, whose event table
  // alone fills most of the block.
  WevtProvider p;
  p.events.resize(200);
  WevtManifest m;
  m.major_version = 3;
  m.minor_version = 1;
  m.providers.push_back(p);
  const std::vector<uint8_t> one = BuildWevtManifest(m);
  const uint32_t wevt = pe_test::GetU32(one, 16 + 16);
  constexpr uint32_t kCopies = 1000;
  const uint32_t shift = 20 * (kCopies - 1);
  std::vector<uint8_t> blob(one.begin(), one.begin() + 16);
  pe_test::PutU32(&blob, 12, kCopies);
  for (uint32_t i = 0; i < kCopies; ++i) {
    blob.insert(blob.end(), 16, 0);
    blob.insert(blob.end(), 4, 0);
    pe_test::PutU32(&blob, blob.size() - 4, wevt + shift);
  }
  // Offsets inside the provider move by `shift`; patch its descriptors.
  blob.insert(blob.end(), one.begin() + wevt, one.end());
  for (uint32_t e = 0; e < 7; ++e) {
    const size_t at = wevt + shift + 20 + 8 * e;
    pe_test::PutU32(&blob, at, pe_test::GetU32(blob, at) + shift);
  }
  WevtManifest read;
  ASSERT_EQ(ParseWevtManifest(one, &read), PeError::kOk);
  EXPECT_EQ(read.providers[0].events.size(), 200u);
  EXPECT_EQ(ParseWevtManifest(blob, &read), PeError::kTooLarge);
  EXPECT_TRUE(read.providers.empty());
}

TEST(WevtManifest, CorpusManifestBlock) {
  const std::vector<uint8_t> blob =
      pe_test::ReadCorpusFile("resources/libfwevt-manifest.1");
  if (blob.empty()) GTEST_SKIP() << "shared corpus not present";
  WevtManifest m;
  ASSERT_EQ(ParseWevtManifest(blob, &m), PeError::kOk);
  EXPECT_EQ(m.major_version, 5);
  EXPECT_EQ(m.minor_version, 1);
  ASSERT_EQ(m.providers.size(), 1u);
  const WevtProvider& p = m.providers[0];
  EXPECT_EQ(p.guid.ToString(), "{06A2EA53-FC6C-42E5-9176-18749AB2CA13}");
  EXPECT_EQ(p.message_id, kNoMessageId);
  ASSERT_EQ(p.events.size(), 1u);
  EXPECT_EQ(p.events[0].id, 1);
  EXPECT_EQ(p.events[0].version, 1);
  EXPECT_EQ(p.events[0].message_id, 0xB0010001u);
  EXPECT_EQ(p.events[0].template_offset, 0x78u);
  ASSERT_EQ(p.templates.size(), 1u);
  const WevtTemplate& t = p.templates[0];
  EXPECT_EQ(t.offset, 0x78u);
  ASSERT_EQ(t.items.size(), 2u);
  EXPECT_EQ(t.items[0].name, "metric_name");
  EXPECT_EQ(t.items[0].in_type, 1);  // UnicodeString
  EXPECT_EQ(t.items[1].name, "metric_value");
  EXPECT_EQ(t.items[1].in_type, 7);  // Int32
  // The fragment spans from the TEMP header's end to the item descriptors
  // and opens with a fragment header token (0x0F, version 1.1).
  EXPECT_EQ(t.binxml.size(), 0x158u - 0x78u - 40u);
  EXPECT_EQ(t.binxml[0], 0x0F);
  EXPECT_TRUE(p.channels.empty());
  EXPECT_TRUE(p.levels.empty());
}

TEST(WevtManifest, RealDllManifest) {
  const std::vector<uint8_t> file =
      pe_test::ReadCorpusFile("resources/plaso-wrc-test-wevt_template.dll");
  if (file.empty()) GTEST_SKIP() << "shared corpus not present";
  PeImage image;
  ASSERT_EQ(PeImage::Parse(file, &image), PeError::kOk);
  WevtManifest m;
  ASSERT_EQ(LoadWevtManifest(image, &m), PeError::kOk);
  EXPECT_EQ(m.major_version, 3);
  EXPECT_EQ(m.minor_version, 1);
  ASSERT_EQ(m.providers.size(), 1u);
  const WevtProvider& p = m.providers[0];
  EXPECT_EQ(p.guid.ToString(), "{67883BBC-D592-4D02-8E29-66907FCB07D6}");
  ASSERT_EQ(p.events.size(), 1u);
  EXPECT_EQ(p.events[0].id, 1);
  EXPECT_EQ(p.events[0].version, 1);
  EXPECT_EQ(p.events[0].level, 0);
  EXPECT_EQ(p.events[0].message_id, 0xB0010001u);
  ASSERT_EQ(p.templates.size(), 1u);
  EXPECT_EQ(p.templates[0].offset, p.events[0].template_offset);
  ASSERT_EQ(p.templates[0].items.size(), 2u);
  EXPECT_EQ(p.templates[0].items[0].name, "name");
  EXPECT_EQ(p.templates[0].items[1].name, "value");
}

}  // namespace
}  // namespace pe
