// The texts of an event record: its message through the provider's metadata,
// cleaned for one output line, and the system's text for an error code.
#include "query/event_text.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/two_call.h"

namespace qrv {

namespace {

constexpr char kMessageFailedPrefix[] = "Get event message failed: ";

// True for the bytes CleanText must look at one by one: quotes, tabs, line
// feeds, carriage returns, and every byte of 0x80 and above.
bool Special(unsigned char b) {
  return b >= 0x80 || b == '"' || b == '\t' || b == '\n' || b == '\r';
}

// The end of the run of other bytes that starts at `pos`: sixteen bytes a
// step where SSE2 is there (messages run to kilobytes, mostly such runs).
size_t PlainRunEnd(const char* data, size_t pos, size_t size) {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i tab = _mm_set1_epi8('\t');
  const __m128i line_feed = _mm_set1_epi8('\n');
  const __m128i carriage_return = _mm_set1_epi8('\r');
  while (pos + 16 <= size) {
    const __m128i bytes =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
    const __m128i hits = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, tab)),
        _mm_or_si128(_mm_cmpeq_epi8(bytes, line_feed),
                     _mm_cmpeq_epi8(bytes, carriage_return)));
    // The sign bit marks the bytes of 0x80 and above.
    const int mask = _mm_movemask_epi8(_mm_or_si128(hits, bytes));
    if (mask != 0) {
      return pos +
             static_cast<size_t>(std::countr_zero(static_cast<unsigned>(mask)));
    }
    pos += 16;
  }
#endif
  while (pos < size && !Special(static_cast<unsigned char>(data[pos]))) ++pos;
  return pos;
}

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
    const size_t end = PlainRunEnd(data, pos, size);
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
