// make_sample_image: writes the built-in sample image, the machine the tool
// reads when QRV_EVENTLOG_ROOT is not set. The build runs it into
// <build>/sample-image; `cmake --install` copies that folder to
// <prefix>/share/qrv-eventlog-tools/sample-image.
//
//   usage: qrv_make_sample_image <output folder>
//
// Everything is made with the project's own writers, from fixed data: the
// same bytes on every run and machine (no clock, no random numbers).
//
// What the image holds (a Windows volume: C:\ is the folder itself):
//
//   Windows/System32/config/SYSTEM     Select\Current = 1 -> ControlSet001;
//     ControlSet001\Services\EventLog with the logs Application, System and
//     Security (File, MaxSize, Retention), their classic event sources, and
//     the Parameters and State keys that are not logs.
//   Windows/System32/config/SOFTWARE   Windows NT\CurrentVersion: SystemRoot =
//     C:\Windows and the build (19045, UBR 3803, Windows 10 Pro, Client); WINEVT\Publishers\{guid} for the manifest providers
//     (default value = name, ResourceFileName, MessageFileName,
//     ChannelReferences); WINEVT\Channels for Application, System, Security,
//     Microsoft-Windows-QRV-Sample/Operational and
//     Microsoft-Windows-QRV-Sample/Debug (OwningPublisher, Enabled, Type,
//     Isolation).
//   Windows/System32/winevt/Logs/      Application.evtx (36 events),
//     System.evtx (30), Security.evtx (40),
//     Microsoft-Windows-QRV-Sample%4Operational.evtx (24). The Debug channel
//     is registered but disabled and has no file: it queries as empty.
//   Windows/System32/*.dll             message files (MESSAGETABLE, and
//     WEVT_TEMPLATE for manifest providers); en-US/qrvsample.dll.mui holds
//     the messages of Microsoft-Windows-QRV-Sample (MUI redirection).
//
// Providers:
//   Application  QRV-Backup (classic; ParameterMessageFile for %%1001..,
//                CategoryMessageFile), QRV-Inventory (classic; two
//                EventMessageFile entries), QRV-Health-Monitor (manifest,
//                also a source of the log)
//   System       QRV-ServiceControl, QRV-Disk (classic)
//   Security     Microsoft-Windows-Security-Auditing
//                {54849625-5478-4994-A5BA-3E3B0328C30D}: audits at level 0
//                with Keywords 0x8020000000000000 (Audit Success) or
//                0x8010000000000000 (Audit Failure), no Qualifiers
//   Microsoft-Windows-QRV-Sample/Operational  Microsoft-Windows-QRV-Sample
// Classic events carry Qualifiers and unnamed <Data>; manifest events named
// <Data>. Every level occurs: Critical (1), Error (2), Warning (3),
// Information (4), Verbose (5), and 0 for the audits.
//
// Every event was created between 2024-03-04T00:00:00Z and
// 2024-03-08T00:00:00Z (first 2024-03-04T00:03Z, last on 2024-03-07).
#include <iostream>
#include <string>

#include "tools/image_folder.h"
#include "tools/sample_image_content.h"
#include "tools/sample_image_files.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: qrv_make_sample_image <output folder>\n";
    return 2;
  }
  const qrv::sample::SampleImage image = qrv::sample::MakeSampleImage();
  std::string error;
  if (!qrv::sample::WriteImageFolder(qrv::sample::BuildSampleImageFiles(image), argv[1], &error)) {
    std::cerr << "qrv_make_sample_image: " << error << "\n";
    return 1;
  }
  return 0;
}
