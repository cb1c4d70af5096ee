// Turns the sample image's content into its files, each with its path below
// the image root ('/'-separated, Windows' own spelling of the folders):
//   Windows/System32/config/SYSTEM and SOFTWARE        registry hives
//   Windows/System32/winevt/Logs/<channel, / as %4>.evtx  one per written channel
//   Windows/System32/<file>.dll                       message files
//   Windows/System32/en-US/<file>.dll.mui             language files
// Entry points: ImageFile, BuildSampleImageFiles and the per-kind builders.
#ifndef QRV_TOOLS_SAMPLE_IMAGE_FILES_H_
#define QRV_TOOLS_SAMPLE_IMAGE_FILES_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/sample_image_content.h"

namespace qrv::sample {

inline constexpr char kConfigFolder[] = "Windows/System32/config/";
inline constexpr char kLogsFolder[] = "Windows/System32/winevt/Logs/";
inline constexpr char kSystem32Folder[] = "Windows/System32/";
inline constexpr char kLanguageFolder[] = "Windows/System32/en-US/";

struct ImageFile {
  std::string path;
  std::vector<uint8_t> bytes;
};

// HKLM\SYSTEM: Select, ControlSet001 with the event log service's key, its
// logs and their event sources, the computer name and the environment.
std::vector<uint8_t> BuildSystemHive(const SampleImage& image);
// HKLM\SOFTWARE: SystemRoot, WINEVT\Publishers and WINEVT\Channels.
std::vector<uint8_t> BuildSoftwareHive(const SampleImage& image);
// Every message file (DLL, and .mui where the messages live apart).
std::vector<ImageFile> BuildMessageFiles(const SampleImage& image);
// The .evtx file name of a channel: '/' written as "%4".
std::string LogFileName(std::string_view channel);
// The whole image, in a fixed order.
std::vector<ImageFile> BuildSampleImageFiles(const SampleImage& image);

}  // namespace qrv::sample

#endif  // QRV_TOOLS_SAMPLE_IMAGE_FILES_H_
