// Fuzz target for a raw RT_MESSAGETABLE resource (MESSAGE_RESOURCE_DATA), as
// it sits in a DLL or a .mui file: parse, look up and expand every message.
//
// Entry point: LLVMFuzzerTestOneInput.
#include <cstddef>
#include <cstdint>

#include "formats/pe/byte_view.h"
#include "formats/pe/message_table.h"
#include "fuzz/message_table_reads.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pe::MessageTable table;
  if (pe::MessageTable::Parse(pe::Bytes(data, size), &table) == pe::PeError::kOk) {
    qrv_fuzz::ReadMessageTable(table);
  }
  return 0;
}
