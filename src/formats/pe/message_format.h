// Expansion of message texts from message tables and manifests the way
// FormatMessage does with FORMAT_MESSAGE_ARGUMENT_ARRAY and string inserts,
// plus the event log's %%n parameter strings. Pure: no resources are read
// here; parameter strings come from a lookup the caller supplies.
//
// Sequences: %1..%99 insert (an optional !fmt! suffix is accepted and
// ignored, every insert already being text; '*' widths are not supported),
// %0 ends the text with no further output, %% -> %, %n -> CR LF, %r -> CR,
// %t -> tab, "% " -> space, %. -> ., %! -> !, % followed by any other
// character -> that character, a lone % at the end -> %.
// An insert whose number has no string stays in the output as written
// (%3, or %3!d!), which is how Event Viewer shows unresolved inserts.
// Inserted strings are not scanned again for % sequences, except for %%n
// parameter strings when a lookup is given (the event log resolves those in
// values too, e.g. Security events whose data holds %%1833).
//
// Entry points: ParameterLookup, FormatMessageText.
#ifndef QRV_FORMATS_PE_MESSAGE_FORMAT_H_
#define QRV_FORMATS_PE_MESSAGE_FORMAT_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pe {

// Text of parameter message `id` (from the parameter file), or nullopt when
// unknown. The text is inserted as returned.
using ParameterLookup = std::function<std::optional<std::string>(uint32_t)>;

// Expands `text` with `inserts` (inserts[0] is %1). Without a parameter
// lookup, %%n is plain FormatMessage: "%" then the digits. With one, %%n
// (n decimal, up to 10 digits) becomes the looked-up text, or stays "%%n"
// when the lookup has no answer. `unresolved`, when given, is set to whether
// an insert was left as written for want of a string.
std::string FormatMessageText(std::string_view text,
                              std::span<const std::string> inserts,
                              const ParameterLookup& parameters = nullptr,
                              bool* unresolved = nullptr);

}  // namespace pe

#endif  // QRV_FORMATS_PE_MESSAGE_FORMAT_H_
