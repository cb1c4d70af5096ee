// The texts of an event record: its message through the provider's metadata,
// cleaned for one output line, and the system's text for an error code.
#include "query/event_text.h"

#include <cstring>

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
  const auto blank = [](unsigned char b) {
    return b == ' ' || (b >= '\t' && b <= '\r');
  };
  // Leading blanks are all ASCII, so they are skipped byte by byte.
  size_t pos = 0;
  while (pos < size && blank(static_cast<unsigned char>(data[pos]))) ++pos;
  size_t out = 0;
  size_t kept = 0;  // output length after the last non-blank character
  while (pos < size) {
    // A run of ASCII other than quotes, tabs and line breaks is copied as
    // it is (spaces, vertical tabs and form feeds included); in place, until
    // something was dropped, it stays put.
    size_t end = pos;
    while (end < size) {
      const auto b = static_cast<unsigned char>(data[end]);
      if (b >= 0x80 || b == '"' || b == '\t' || b == '\n' || b == '\r') break;
      ++end;
    }
    if (end != pos) {
      if (out != pos) std::memmove(data + out, data + pos, end - pos);
      const size_t run_start = out;
      out += end - pos;
      pos = end;
      for (size_t back = out; back > run_start; --back) {
        if (!blank(static_cast<unsigned char>(data[back - 1]))) {
          kept = back;
          break;
        }
      }
      if (pos == size) break;
    }
    const char c = data[pos];
    if (static_cast<unsigned char>(c) >= 0x80) {
      const size_t len = AnsiCharLength(data + pos, size - pos);
      for (size_t i = 0; i < len; ++i) data[out++] = data[pos + i];
      pos += len;
      kept = out;
    } else if (c == '"') {
      // Dropped, but it counts as a character for the trim: the blanks
      // before it stay.
      ++pos;
      kept = out;
    } else {  // tab, line feed or carriage return
      ++pos;
      data[out++] = ' ';
    }
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
