// Reads every message of a parsed MESSAGETABLE and expands it, shared by the
// PE resource target and the raw message table target.
//
// Entry point: ReadMessageTable.
#ifndef QRV_FUZZ_MESSAGE_TABLE_READS_H_
#define QRV_FUZZ_MESSAGE_TABLE_READS_H_

#include "formats/pe/message_table.h"

namespace qrv_fuzz {

// Checks the id list against Find and expands each text with inserts and a
// parameter lookup answered from the same table (so %%n texts may name
// themselves: the expander must not loop).
void ReadMessageTable(const pe::MessageTable& table);

}  // namespace qrv_fuzz

#endif  // QRV_FUZZ_MESSAGE_TABLE_READS_H_
