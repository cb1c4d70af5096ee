// Assembles the sample image: hives, one .evtx per channel that has a file,
// and the message files.
#include "tools/sample_image_files.h"

#include "formats/evtx/evtx_writer.h"

namespace qrv::sample {

std::string LogFileName(std::string_view channel) {
  std::string name;
  for (const char c : channel) {
    if (c == '/') {
      name += "%4";
    } else {
      name += c;
    }
  }
  return name + ".evtx";
}

std::vector<ImageFile> BuildSampleImageFiles(const SampleImage& image) {
  std::vector<ImageFile> files;
  files.push_back({std::string(kConfigFolder) + "SYSTEM", BuildSystemHive(image)});
  files.push_back({std::string(kConfigFolder) + "SOFTWARE", BuildSoftwareHive(image)});
  for (const RegisteredChannel& channel : image.channels) {
    if (!channel.has_file) continue;  // registered, never written: no file, as on Windows
    std::vector<evtx::WriterEvent> records;
    for (const SampleEvent* e : image.EventsOf(channel.name)) records.push_back(e->record);
    files.push_back(
        {std::string(kLogsFolder) + LogFileName(channel.name), evtx::WriteEvtx(records)});
  }
  for (ImageFile& dll : BuildMessageFiles(image)) files.push_back(std::move(dll));
  return files;
}

}  // namespace qrv::sample
