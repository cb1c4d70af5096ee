// Decodes EVTX records three ways and compares them; see the header.
#include "fuzz/evtx_reads.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/evtx/event_tree.h"
#include "formats/evtx/system_properties.h"
#include "fuzz/fuzz_check.h"

namespace qrv_fuzz {
namespace {

// The first element named `name` directly below System, or null.
const evtx::Element* SystemChild(const evtx::EventTree& tree, std::string_view name) {
  const evtx::Element* root = tree.Root();
  if (root == nullptr) return nullptr;
  for (uint32_t child : root->children) {
    if (child >= tree.elements.size()) continue;
    const evtx::Element& system = tree.elements[child];
    if (system.name != "System") continue;
    for (uint32_t index : system.children) {
      if (index < tree.elements.size() && tree.elements[index].name == name) {
        return &tree.elements[index];
      }
    }
  }
  return nullptr;
}

// Where both paths read a numeric System field from a substitution of the
// type Windows logs it with, they must read the same number. Other types
// (a damaged record's UInt32 EventID, literal template text) are left out:
// the two paths are free to narrow or drop those differently.
void CompareNumber(const evtx::EventTree& tree, std::string_view name, evtx::ValueType type,
                   bool present, uint64_t fast) {
  const evtx::Element* element = SystemChild(tree, name);
  if (!present || element == nullptr || element->text.type != type) return;
  QRV_FUZZ_CHECK(element->text.u == fast);
}

}  // namespace

void ReadRecord(evtx::ChunkDecoder& decoder, const evtx::RecordRef& record) {
  evtx::SystemProperties props;
  const evtx::DecodeStatus system_status = decoder.ReadSystem(record, &props);
  if (system_status == evtx::DecodeStatus::kOk) {
    props.provider_name.ToUtf8();
    props.channel.ToUtf8();
    props.computer.ToUtf8();
  }
  evtx::EventTree tree;
  const evtx::DecodeStatus tree_status = decoder.BuildTree(record, &tree);
  if (tree_status == evtx::DecodeStatus::kOk) {
    QRV_FUZZ_CHECK(tree.Root() != nullptr);
    for (const evtx::Element& element : tree.elements) {
      for (uint32_t child : element.children) QRV_FUZZ_CHECK(child < tree.elements.size());
    }
    if (system_status == evtx::DecodeStatus::kOk) {
      using evtx::SystemProperty;
      using evtx::ValueType;
      CompareNumber(tree, "EventID", ValueType::kUInt16, props.Has(SystemProperty::kEventId),
                    props.event_id);
      CompareNumber(tree, "Level", ValueType::kUInt8, props.Has(SystemProperty::kLevel),
                    props.level);
      CompareNumber(tree, "Task", ValueType::kUInt16, props.Has(SystemProperty::kTask), props.task);
      CompareNumber(tree, "EventRecordID", ValueType::kUInt64,
                    props.Has(SystemProperty::kEventRecordId), props.event_record_id);
    }
  }
  std::string xml;
  decoder.RenderXml(record, &xml);
}

uint64_t ReadChunkRecords(evtx::ChunkDecoder& decoder) {
  uint64_t records = 0;
  evtx::RecordRef record;
  while (decoder.NextRecord(&record)) {
    ReadRecord(decoder, record);
    ++records;
  }
  return records;
}

}  // namespace qrv_fuzz
