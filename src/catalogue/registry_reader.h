// Read-only access to the event-log configuration in the registry: does a key
// exist, what are its subkeys, what does one of its values hold. Entry points:
// RegistryKeyExists, GetRegistrySubkeys, GetRegistryValue,
// GetRegistryDefaultValue, JoinRegistryPath.
#ifndef QRV_CATALOGUE_REGISTRY_READER_H_
#define QRV_CATALOGUE_REGISTRY_READER_H_

#include <cstddef>
#include <string>
#include <vector>

#include "platform/win32_types.h"

namespace qrv {

// Subkey names are read into a buffer that holds the longest key name, 255
// characters, in a double-byte code page, where each may take two bytes,
// plus the terminating NUL. A name RegEnumKeyA still cannot return
// (ERROR_MORE_DATA) is skipped; later keys are still read.
inline constexpr size_t kRegistryNameBufferChars = 2 * 255 + 1;
// Value data is read into a buffer of this many bytes; a longer value fails
// to read (ERROR_MORE_DATA) and counts as missing.
inline constexpr size_t kRegistryValueBufferBytes = 260;

// Each reader comes in two forms: the general one, relative to `root`, and
// the one the catalogue calls, relative to HKEY_LOCAL_MACHINE. Paths are ANSI
// text, pieces separated by one backslash, no leading backslash. Every key
// opened is closed before the call returns; every failure is only `false`.

// True when the key can be opened.
bool RegistryKeyExists(HKey root, const std::string& path);
bool RegistryKeyExists(const std::string& path);

// Appends the key's subkey names to `names`, in enumeration order and
// unchanged. True when the key could be opened, even with no subkeys; on
// false `names` is untouched. The first enumeration error ends the list.
bool GetRegistrySubkeys(HKey root, const std::string& path,
                        std::vector<std::string>& names);
bool GetRegistrySubkeys(const std::string& path,
                        std::vector<std::string>& names);

// Reads value `name` as text (up to its first NUL, whatever its type). True
// when it was read; on false `text` keeps what it held.
bool GetRegistryValue(HKey root, const std::string& path,
                      const std::string& name, std::string& text);
bool GetRegistryValue(const std::string& path, const std::string& name,
                      std::string& text);

// The same for the key's default (unnamed) value.
bool GetRegistryDefaultValue(HKey root, const std::string& path,
                             std::string& text);
bool GetRegistryDefaultValue(const std::string& path, std::string& text);

// `parent`, one backslash, `child`; neither piece is checked, either may
// be empty.
std::string JoinRegistryPath(const std::string& parent,
                             const std::string& child);

}  // namespace qrv

#endif  // QRV_CATALOGUE_REGISTRY_READER_H_
