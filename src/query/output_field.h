// Names that reach an output line from outside the tool (channel, provider
// and publisher names from the event log or the registry; offline, from files
// of another machine) are written through AppendNameField, so that a tab,
// carriage return, line feed or NUL inside one cannot fake a field or a line
// for the scripts that read the output. Real Windows names never hold them.
#ifndef QRV_QUERY_OUTPUT_FIELD_H_
#define QRV_QUERY_OUTPUT_FIELD_H_

#include <string>
#include <string_view>

namespace qrv {

// Appends `name` to `line` with each tab, CR, LF and NUL replaced by a space.
// Byte-wise is safe in every ANSI code page: these bytes are never the trail
// byte of a double-byte character, nor part of a UTF-8 sequence.
void AppendNameField(std::string& line, std::string_view name);

}  // namespace qrv

#endif  // QRV_QUERY_OUTPUT_FIELD_H_
