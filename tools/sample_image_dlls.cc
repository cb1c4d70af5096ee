// The sample image's message files, built as Windows tooling lays them out:
// a MESSAGETABLE (UTF-16 entries, en-US) with every message of the providers
// that name the file, and for manifest providers a WEVT_TEMPLATE with their
// event definitions. A provider whose messages live apart gets a
// language-neutral DLL (manifest + MUI resource naming RT_MESSAGETABLE as a
// language-file type) and en-US\<file>.mui with the table.
#include <algorithm>
#include <iterator>
#include <map>

#include "formats/pe/pe_writer.h"
#include "formats/pe/resource_writer.h"
#include "tools/guid_text.h"
#include "tools/sample_image_files.h"

namespace qrv::sample {
namespace {

constexpr uint32_t kResourceNameId = 1;  // every resource here is name id 1
constexpr uint32_t kMuiVersion = 0x00010000;
constexpr char kLanguage[] = "en-US";
// The compiled-manifest version Windows' message compiler writes.
constexpr uint16_t kCrimMajor = 3;
constexpr uint16_t kCrimMinor = 1;

struct FileContent {
  std::vector<pe::WrittenMessage> messages;
  std::vector<pe::WevtProvider> manifest;
  bool messages_in_mui = false;
};

void AddMessage(uint32_t id, const std::string& text, FileContent* file) {
  file->messages.push_back({id, text, pe::MessageEncoding::kUtf16});
}

pe::WevtProvider ManifestOf(const SampleProvider& p) {
  pe::WevtProvider out;
  const evtx::GuidBytes guid = ParseGuidText(p.guid);
  std::copy(std::begin(guid.bytes), std::end(guid.bytes), out.guid.bytes.begin());
  out.message_id = p.message_id;
  for (const ChannelRef& c : p.channels) {
    pe::WevtChannel channel;
    channel.value = c.value;
    channel.name = c.name;
    channel.message_id = c.message_id;
    out.channels.push_back(channel);
  }
  out.tasks = p.tasks;
  out.keywords = p.keywords;
  for (const DeclaredEvent& e : p.events) {
    pe::WevtEvent event;
    event.id = e.id;
    event.version = e.version;
    event.channel = e.channel_value;
    event.level = e.level;
    event.opcode = e.opcode;
    event.task = e.task;
    event.keywords = e.keywords;
    event.message_id = e.MessageId();
    out.events.push_back(event);
  }
  return out;
}

// What each file holds, by file name (sorted, so the output order is fixed).
std::map<std::string, FileContent> CollectFiles(const SampleImage& image) {
  std::map<std::string, FileContent> files;
  for (const SampleProvider& p : image.providers) {
    FileContent& own = files[p.file];
    own.messages_in_mui = own.messages_in_mui || p.messages_in_mui;
    for (const DeclaredEvent& e : p.events) {
      AddMessage(e.MessageId(), e.message, e.message_file.empty() ? &own : &files[e.message_file]);
    }
    for (size_t i = 0; i < p.categories.size(); ++i) {
      AddMessage(static_cast<uint32_t>(i + 1), p.categories[i] + "\r\n", &own);
    }
    for (const auto& [id, text] : p.other_messages) AddMessage(id, text, &own);
    if (p.message_id != pe::kNoMessageId) AddMessage(p.message_id, p.display_name + "\r\n", &own);
    if (p.is_manifest()) own.manifest.push_back(ManifestOf(p));
  }
  return files;
}

pe::WrittenResource Resource(pe::ResourceId type, std::vector<uint8_t> data) {
  return {std::move(type), pe::ResourceId::Id(kResourceNameId), pe::kLangEnUs, std::move(data)};
}

std::vector<uint8_t> MuiResource(uint32_t file_type, std::string language) {
  pe::MuiResource mui;
  mui.version = kMuiVersion;
  mui.file_type = file_type;
  mui.mui_id_types = {pe::kRtMessageTable};
  mui.language = std::move(language);
  mui.fallback_language = kLanguage;
  return pe::BuildMuiResource(mui);
}

}  // namespace

std::vector<ImageFile> BuildMessageFiles(const SampleImage& image) {
  std::vector<ImageFile> out;
  for (auto& [name, content] : CollectFiles(image)) {
    std::vector<pe::WrittenResource> dll;
    if (!content.manifest.empty()) {
      pe::WevtManifest manifest;
      manifest.major_version = kCrimMajor;
      manifest.minor_version = kCrimMinor;
      manifest.providers = content.manifest;
      dll.push_back(
          Resource(pe::ResourceId::Name(pe::kTypeWevtTemplate), pe::BuildWevtManifest(manifest)));
    }
    std::vector<uint8_t> table = pe::BuildMessageTable(std::move(content.messages));
    if (content.messages_in_mui) {
      dll.push_back(
          Resource(pe::ResourceId::Name(pe::kTypeMui), MuiResource(pe::kMuiFileTypeNeutral, "")));
      const std::vector<pe::WrittenResource> mui = {
          Resource(pe::ResourceId::Id(pe::kRtMessageTable), std::move(table)),
          Resource(pe::ResourceId::Name(pe::kTypeMui),
                   MuiResource(pe::kMuiFileTypeLanguage, kLanguage)),
      };
      out.push_back({std::string(kLanguageFolder) + name + ".mui", pe::BuildPeImage(mui)});
    } else {
      dll.push_back(Resource(pe::ResourceId::Id(pe::kRtMessageTable), std::move(table)));
    }
    out.push_back({std::string(kSystem32Folder) + name, pe::BuildPeImage(dll)});
  }
  return out;
}

}  // namespace qrv::sample
