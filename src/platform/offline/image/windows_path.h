// Windows paths as the registry of an image stores them (for example
// "%SystemRoot%\System32\Winevt\Logs\Application.evtx"), turned into the
// components of a path below the image's root folder, which stands for the
// system drive C:. Pure text work; path_resolver.h finds the files.
//
// Entry points: ExpandImageVariables, ImagePathComponents.
#ifndef QRV_PLATFORM_OFFLINE_IMAGE_WINDOWS_PATH_H_
#define QRV_PLATFORM_OFFLINE_IMAGE_WINDOWS_PATH_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qrv::offline {

// Expands %SystemRoot%, %windir%, %SystemDrive%, %ProgramFiles%,
// %ProgramData% and the other machine-wide variables of a default Windows
// installation on C:, names matched ignoring case. As ExpandEnvironmentStrings
// does, an unknown variable or a lone '%' is left as it stands.
std::string ExpandImageVariables(std::string_view text);

// The components, below the image root, of a path on the system drive:
// variables expanded, "C:\" or a leading '\' taken as the root, '\' and '/'
// both separators, "." dropped and ".." going up (never above the root), a
// "\\?\" or "\??\" prefix ignored. nullopt for a path the image cannot hold:
// another drive, a UNC share, a relative path.
std::optional<std::vector<std::string>> ImagePathComponents(std::string_view windows_path);

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_IMAGE_WINDOWS_PATH_H_
