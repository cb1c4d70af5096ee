// Message requests from delivered events; see message_request.h.
#include "platform/offline/service/message_request.h"

#include <vector>

#include "formats/utf16.h"

namespace qrv::offline {

namespace {

using P = evtx::SystemProperty;

const evtx::Element* Child(const evtx::EventTree& tree,
                           const evtx::Element& parent, std::string_view name) {
  for (uint32_t c : parent.children) {
    if (c < tree.elements.size() && tree.elements[c].name == name)
      return &tree.elements[c];
  }
  return nullptr;
}

// Leaf texts below `top` in document order, walked with an explicit stack
// (the reader bounds the tree's depth; the stack needs no recursion).
void AppendLeaves(const evtx::EventTree& tree, const evtx::Element& top,
                  std::vector<std::string>* out) {
  std::vector<uint32_t> stack(top.children.rbegin(), top.children.rend());
  while (!stack.empty()) {
    const uint32_t index = stack.back();
    stack.pop_back();
    if (index >= tree.elements.size()) continue;
    const evtx::Element& e = tree.elements[index];
    if (e.children.empty()) {
      out->push_back(e.text.text);
      continue;
    }
    stack.insert(stack.end(), e.children.rbegin(), e.children.rend());
  }
}

}  // namespace

EventMessageRequest MessageRequestFor(const CapturedEvent& event,
                                      const evtx::EventTree* tree) {
  const evtx::SystemProperties& p = event.system;
  EventMessageRequest request;
  request.provider = text::Utf16ToUtf8(event.provider_name);
  request.event_id = p.event_id;
  if (p.Has(P::kQualifiers)) request.qualifiers = p.qualifiers;
  request.version = p.version;
  request.level = p.level;
  request.task = p.task;
  request.opcode = p.opcode;
  request.keywords = p.keywords;
  request.channel = text::Utf16ToUtf8(event.channel);
  if (tree == nullptr || tree->Root() == nullptr) return request;
  const evtx::Element& root = *tree->Root();
  if (const evtx::Element* data = Child(*tree, root, "EventData")) {
    for (uint32_t c : data->children) {
      if (c < tree->elements.size() && tree->elements[c].name == "Data")
        request.inserts.push_back(tree->elements[c].text.text);
    }
  } else if (const evtx::Element* user = Child(*tree, root, "UserData")) {
    AppendLeaves(*tree, *user, &request.inserts);
  }
  return request;
}

}  // namespace qrv::offline
