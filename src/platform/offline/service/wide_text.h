// UTF-16 (host char16_t) to and from UTF-8 for the service's own use: query
// texts and names arrive as UTF-16, the query engine and the file readers
// work in UTF-8. Independent of the installed platform's code page.
// Entry points: Utf16ToUtf8, Utf8ToUtf16.
#ifndef QRV_PLATFORM_OFFLINE_SERVICE_WIDE_TEXT_H_
#define QRV_PLATFORM_OFFLINE_SERVICE_WIDE_TEXT_H_

#include <string>
#include <string_view>

namespace qrv::offline {

// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// Bytes that are not UTF-8 become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_SERVICE_WIDE_TEXT_H_
