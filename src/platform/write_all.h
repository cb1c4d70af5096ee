// Writing a whole byte string to a POSIX descriptor. Not on Windows.
// Entry point: WriteAll.
#ifndef QRV_PLATFORM_WRITE_ALL_H_
#define QRV_PLATFORM_WRITE_ALL_H_

#include <cstddef>
#include <string_view>

namespace qrv {

// Writes `bytes` to `fd`, resuming after a partial write or a signal, and
// stops at the first error; returns how many bytes were written.
size_t WriteAll(int fd, std::string_view bytes);

}  // namespace qrv

#endif  // QRV_PLATFORM_WRITE_ALL_H_
