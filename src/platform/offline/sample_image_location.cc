// Finding the sample image beside the running program.
#include "platform/offline/sample_image_location.h"

#include <system_error>

namespace qrv::offline {
namespace {

namespace fs = std::filesystem;

// Where the build writes the image, next to the program.
constexpr char kBuildTreeFolder[] = "sample-image";
// Where `cmake --install` puts it, relative to the program in <prefix>/bin.
constexpr char kInstalledFolder[] = "../share/qrv-eventlog-tools/sample-image";
// The SYSTEM hive: what makes a folder a Windows-volume image.
constexpr char kRequiredFile[] = "Windows/System32/config/SYSTEM";

bool HoldsImage(const fs::path& folder) {
  std::error_code ec;
  return fs::is_regular_file(folder / kRequiredFile, ec);
}

}  // namespace

std::optional<fs::path> FindSampleImage(const fs::path& executable) {
  const fs::path dir = executable.parent_path();
  for (const char* relative : {kBuildTreeFolder, kInstalledFolder}) {
    const fs::path candidate = (dir / relative).lexically_normal();
    if (HoldsImage(candidate)) return candidate;
  }
  return std::nullopt;
}

std::optional<fs::path> RunningExecutablePath() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec || self.empty()) return std::nullopt;
  return self;
}

std::optional<fs::path> FindSampleImageOfThisProgram() {
  const std::optional<fs::path> self = RunningExecutablePath();
  if (!self) return std::nullopt;
  return FindSampleImage(*self);
}

}  // namespace qrv::offline
