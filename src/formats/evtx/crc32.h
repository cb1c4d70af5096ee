// CRC-32 (IEEE 802.3 polynomial, the zlib crc32) as used by EVTX file and chunk
// headers and chunk record data. Entry point: Crc32(), which can be chained by
// passing the previous result as `crc`.
#ifndef QRV_FORMATS_EVTX_CRC32_H_
#define QRV_FORMATS_EVTX_CRC32_H_

#include <cstddef>
#include <cstdint>

namespace evtx {

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

}  // namespace evtx

#endif  // QRV_FORMATS_EVTX_CRC32_H_
