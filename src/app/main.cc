// QRV_EventLog_Tools: installs the platform the build linked in (the Windows
// services on Windows, the offline stand-in elsewhere) and runs the command
// the words name.
#include "app/entry.h"
#include "platform/default_platform.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  qrv::InstallPlatform(qrv::MakeDefaultPlatform());
  return qrv::RunEntry(argc, argv);
}
