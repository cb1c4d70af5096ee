// The registry a folder of .evtx files would have had, made up from its
// channels so that the catalogue reads it as it reads a real one:
//   SYSTEM\Select\Current = 1 and, in ControlSet001\Services\EventLog, each
//     channel without '/' in its name (Application, System, Windows
//     PowerShell, ...: the classic logs) with a subkey per provider seen in it;
//   SOFTWARE\Microsoft\Windows\CurrentVersion\WINEVT\Channels\<channel> for
//     every channel, OwningPublisher = "{guid}" of the provider that logged
//     most of its events, when that provider has a GUID;
//   SOFTWARE\...\WINEVT\Publishers\{guid}, default value the provider's name,
//     for every provider with a GUID.
// Names a key cannot have (empty, holding '\', over 255 characters) are left
// out. Entry points: AddClassicLogs, SynthesizeRegistry.
#ifndef QRV_PLATFORM_OFFLINE_IMAGE_SYNTHETIC_REGISTRY_H_
#define QRV_PLATFORM_OFFLINE_IMAGE_SYNTHETIC_REGISTRY_H_

#include <vector>

#include "platform/offline/image/evtx_folder.h"
#include "platform/offline/image/memory_key.h"

namespace qrv::offline {

// Every Windows registry has the classic logs Application, System and
// Security: those the folder lacks join `channels` with no files (an empty
// log, as a registered channel without a log file is on a volume) and no
// providers, in registry order with the others.
void AddClassicLogs(std::vector<FolderChannel>* channels);

void SynthesizeRegistry(const std::vector<FolderChannel>& channels, MemoryKey* system,
                        MemoryKey* software);

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_IMAGE_SYNTHETIC_REGISTRY_H_
