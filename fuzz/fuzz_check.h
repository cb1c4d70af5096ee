// Invariant checks inside fuzz targets: a broken promise of a reader's header
// stops the run like a crash, so the fuzzer keeps the input that caused it.
//
// Entry point: QRV_FUZZ_CHECK(condition).
#ifndef QRV_FUZZ_FUZZ_CHECK_H_
#define QRV_FUZZ_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>

#define QRV_FUZZ_CHECK(condition)                                                        \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (false)

#endif  // QRV_FUZZ_FUZZ_CHECK_H_
