// Writes a generated image into its output folder as a whole: the files go
// to a fresh sibling folder first, which then takes the place of the old
// one, so a failed run never leaves half an image behind and files the
// generator no longer makes do not linger. Entry point: WriteImageFolder.
#ifndef QRV_TOOLS_IMAGE_FOLDER_H_
#define QRV_TOOLS_IMAGE_FOLDER_H_

#include <filesystem>
#include <string>
#include <vector>

#include "tools/sample_image_files.h"

namespace qrv::sample {

// The file every generated image holds; an existing output folder is only
// replaced when it has it (or is empty), so a mistyped path cannot wipe
// unrelated data.
inline constexpr char kMarkerFile[] = "Windows/System32/config/SYSTEM";

// False with a message in *error when a file cannot be written or `folder`
// exists and is not a generated image.
bool WriteImageFolder(const std::vector<ImageFile>& files, const std::filesystem::path& folder,
                      std::string* error);

}  // namespace qrv::sample

#endif  // QRV_TOOLS_IMAGE_FOLDER_H_
