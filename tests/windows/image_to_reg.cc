// Writes the event-log keys of an offline image as a .reg file for
// `wine reg import`: the service logs and their sources, the registered
// channels and the publishers, values included. UTF-16LE with a byte-order
// mark, as regedit writes it.
//
// Usage: qrv_image_to_reg IMAGE_ROOT OUT.reg
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/offline/image/image.h"
#include "tests/windows/reg_export.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: qrv_image_to_reg IMAGE_ROOT OUT.reg\n";
    return 2;
  }
  qrv::offline::Image image{std::filesystem::path(argv[1])};
  if (image.layout() == qrv::offline::ImageLayout::kEmpty) {
    std::cerr << "qrv_image_to_reg: " << argv[1] << " is not an image\n";
    return 1;
  }
  const std::vector<std::string> paths = {
      "SYSTEM\\CurrentControlSet\\Services\\EventLog",
      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Channels",
      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Publishers",
  };
  const std::u16string text = qrv::offline::ExportRegFile(image.tree(), paths);
  std::string bytes = "\xff\xfe";
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xff));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  std::ofstream out(argv[2], std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::cerr << "qrv_image_to_reg: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
