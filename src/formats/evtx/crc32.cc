// Slice-by-8 table CRC-32: a chunk's 64 KiB of record data is checked once per
// chunk, so this runs at memory speed rather than a byte at a time.
#include "formats/evtx/crc32.h"

#include <array>

#include "formats/evtx/bytes.h"

namespace evtx {
namespace {

using Tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr Tables MakeTables() {
  Tables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i) {
    for (int s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
  }
  return t;
}

constexpr Tables kTables = MakeTables();

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
  uint32_t c = ~crc;
  while (size >= 8) {
    const uint32_t lo = LoadU32(data) ^ c;
    const uint32_t hi = LoadU32(data + 4);
    c = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^
        kTables[5][(lo >> 16) & 0xFF] ^ kTables[4][lo >> 24] ^
        kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
        kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
    data += 8;
    size -= 8;
  }
  while (size-- > 0) c = kTables[0][(c ^ *data++) & 0xFF] ^ (c >> 8);
  return ~c;
}

}  // namespace evtx
