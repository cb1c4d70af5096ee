// Message requests from delivered events; see message_request.h.
#include "platform/offline/service/message_request.h"

#include <string>
#include <string_view>

#include "formats/utf16.h"

namespace qrv::offline {

namespace {

using P = evtx::SystemProperty;

// Utf16ToUtf8 into a string that keeps its capacity.
void AssignUtf8(std::u16string_view text, std::string* out) {
  out->resize(text::Utf8Size(text));
  text::Utf16ToUtf8Into(text, out->data());
}

}  // namespace

void FillMessageRequest(const CapturedEvent& event,
                        CapturedRecordReader& records,
                        EventMessageRequest* request) {
  const evtx::SystemProperties& p = event.system;
  AssignUtf8(event.provider_name, &request->provider);
  request->event_id = p.event_id;
  request->qualifiers.reset();
  if (p.Has(P::kQualifiers)) request->qualifiers = p.qualifiers;
  request->version = p.version;
  request->level = p.level;
  request->task = p.task;
  request->opcode = p.opcode;
  request->keywords = p.keywords;
  AssignUtf8(event.channel, &request->channel);
  records.ReadDataItems(event, &request->inserts);
}

}  // namespace qrv::offline
