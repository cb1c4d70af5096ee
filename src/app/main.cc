// QRV_EventLog_Tools: installs the platform the build linked in (the Windows
// services on Windows, the offline stand-in elsewhere) and runs the command
// the words name.
#include "app/entry.h"
#include "platform/default_platform.h"
#include "platform/platform.h"

#ifdef QRV_WITH_MIMALLOC
#include <cstdlib>

#include <mimalloc.h>
#endif

#ifdef QRV_WITH_MIMALLOC
// A large query's event list grows to hundreds of megabytes, each page of
// it written once. In 2 MiB pages (where the system grants transparent
// huge pages on request) a 1 GiB log's run takes about 12 thousand page
// faults instead of 130 thousand. Each thread's first segments are
// committed (and so given those pages) at once rather than after a delay,
// which left a small log's run, whose memory lies in those segments, to
// fault page by page: 940 faults over the XP sample instead of 200. The
// allocator has read its options by now, so a setting in the environment
// is honoured here.
__attribute__((constructor(101))) static void UseLargePages() {
  if (std::getenv("MIMALLOC_LARGE_OS_PAGES") == nullptr)
    mi_option_enable(mi_option_large_os_pages);
  if (std::getenv("MIMALLOC_EAGER_COMMIT_DELAY") == nullptr)
    mi_option_set(mi_option_eager_commit_delay, 0);
}
#endif

int main(int argc, char** argv) {
  qrv::InstallPlatform(qrv::MakeDefaultPlatform());
  return qrv::RunEntry(argc, argv);
}
