// Where the built-in sample image sits relative to the program: beside it in
// the build tree (<build>/QRV_EventLog_Tools and <build>/sample-image), and
// under the install prefix after `cmake --install`
// (<prefix>/bin/QRV_EventLog_Tools and
// <prefix>/share/qrv-eventlog-tools/sample-image).
//
// Entry points: FindSampleImage, FindSampleImageOfThisProgram,
// RunningExecutablePath.
#ifndef QRV_PLATFORM_OFFLINE_SAMPLE_IMAGE_LOCATION_H_
#define QRV_PLATFORM_OFFLINE_SAMPLE_IMAGE_LOCATION_H_

#include <filesystem>
#include <optional>

namespace qrv::offline {

// The image folder for the program at `executable`: <exe dir>/sample-image,
// else <exe dir>/../share/qrv-eventlog-tools/sample-image. A folder counts
// only when it holds Windows/System32/config/SYSTEM, so an empty or
// half-copied folder is not taken for the image. nullopt when neither does.
std::optional<std::filesystem::path> FindSampleImage(const std::filesystem::path& executable);

// The running program's own file, symbolic links resolved (/proc/self/exe);
// nullopt where the system does not offer it.
std::optional<std::filesystem::path> RunningExecutablePath();

// FindSampleImage for the running program.
std::optional<std::filesystem::path> FindSampleImageOfThisProgram();

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_SAMPLE_IMAGE_LOCATION_H_
