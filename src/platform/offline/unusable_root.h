// Why a folder named as the machine's root gave no machine: it is missing,
// not a folder, unreadable, or holds neither image layout. The program says
// so on standard error, so that a mistyped root is not taken for a computer
// without logs; and it says when it reads the built-in sample image instead
// of a root, so that the sample is not taken for a computer's logs.
// Entry points: UnusableRootReason, UnusableRootLine, kSampleImageLine.
#ifndef QRV_PLATFORM_OFFLINE_UNUSABLE_ROOT_H_
#define QRV_PLATFORM_OFFLINE_UNUSABLE_ROOT_H_

#include <filesystem>
#include <string>

namespace qrv::offline {

// The reason, as a phrase to follow the path ("does not exist"), for a root
// in which Image found no layout. Called only for such a root: a readable
// folder is then one that holds neither layout.
std::string UnusableRootReason(const std::filesystem::path& root);

// The one line written for such a root, newline included; control
// characters in the path are written as spaces so the line stays one line.
// An empty root (the variable set to nothing) has a line of its own.
std::string UnusableRootLine(const std::filesystem::path& root);
// The same line with the reason given (a disk image's problem).
std::string UnusableRootLine(const std::filesystem::path& root, const std::string& reason);

// The notice for a disk image read from one of several volumes that would
// serve: `what` says which (disk_image.h), newline included.
std::string DiskImageNoticeLine(const std::filesystem::path& root, const std::string& what);

// The line written on every run that reads the built-in sample image.
inline constexpr char kSampleImageLine[] =
    "QRV_EventLog_Tools: QRV_EVENTLOG_ROOT is not set; answering from the "
    "built-in sample image, whose events are made up\n";

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_UNUSABLE_ROOT_H_
