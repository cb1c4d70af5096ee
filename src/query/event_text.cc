// The texts of an event record: its message through the provider's metadata,
// cleaned for one output line, and the system's text for an error code.
#include "query/event_text.h"

#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/two_call.h"

namespace qrv {

namespace {

constexpr char kMessageFailedPrefix[] = "Get event message failed: ";

}  // namespace

std::string FormatEventMessage(EvtHandle publisher_metadata, EvtHandle event) {
  TwoCallResult text =
      ReadMessageText([&](uint32_t size, void* buffer, uint32_t* used) {
        return EvtFormatMessage(publisher_metadata, event, 0, 0, nullptr,
                                kEvtFormatMessageEvent, size,
                                static_cast<char16_t*>(buffer), used);
      });
  switch (text.status) {
    case TwoCallStatus::kFilled:
      // An event with fewer data items than its message has inserts gets
      // the text with those inserts left as written.
      return ToAnsi(reinterpret_cast<const char16_t*>(text.data.get()));
    case TwoCallStatus::kFirstCallSucceeded:
    case TwoCallStatus::kAllocationFailed:
      return std::string();
    case TwoCallStatus::kFirstCallFailed:
      break;
  }
  if (text.error == kErrorEvtMessageNotFound ||
      text.error == kErrorEvtMessageIdNotFound) {
    return kMessageNotFound;
  }
  return kMessageFailedPrefix + GetErrorText(text.error);
}

bool CleanText(std::string& text) {
  // Trims white space at both ends, walking whole characters, then in the
  // same pass over whole characters: quotes go, line feeds, carriage returns
  // and tabs become one space each (runs are kept, so CR LF gives two
  // spaces). No second trim: edge spaces made here stay. Only single-byte
  // characters are compared, so a trail byte is never taken for one of
  // them; a byte below 0x80 is a character of its own in every ANSI code
  // page, so only the others ask the code page (messages run to kilobytes).
  // Written in place: the output never outgrows the input.
  const size_t size = text.size();
  char* const data = text.data();
  size_t pos = 0;
  size_t out = 0;
  size_t kept = 0;  // output length after the last non-blank character
  bool started = false;
  while (pos < size) {
    const char c = data[pos];
    if (static_cast<unsigned char>(c) >= 0x80) {
      const size_t len = AnsiCharLength(data + pos, size - pos);
      for (size_t i = 0; i < len; ++i) data[out++] = data[pos + i];
      pos += len;
      started = true;
      kept = out;
      continue;
    }
    ++pos;
    if (c == ' ' || (c >= '\t' && c <= '\r')) {  // IsBlank, inline
      if (!started) continue;
      data[out++] = c == '\n' || c == '\r' || c == '\t' ? ' ' : c;
      continue;
    }
    if (c != '"') data[out++] = c;
    started = true;
    kept = out;
  }
  text.resize(kept);
  return !text.empty();
}

std::string GetErrorText(uint32_t error_code) {
  LocalTextOwner buffer;
  const uint32_t flags = kFormatMessageFromSystem |
                         kFormatMessageIgnoreInserts |
                         kFormatMessageAllocateBuffer;
  const uint32_t length =
      FormatMessageA(flags, nullptr, error_code, kLangNeutralDefault,
                     buffer.Receive(), 0, nullptr);
  // 0: the system has no text for the code (any buffer is still released).
  if (length == 0 || !buffer) return std::string();
  return std::string(buffer.Get());
}

}  // namespace qrv
