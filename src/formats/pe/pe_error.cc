// Text for the PE reader error codes.
#include "formats/pe/pe_error.h"

namespace pe {

const char* PeErrorText(PeError error) {
  switch (error) {
    case PeError::kOk:
      return "ok";
    case PeError::kTruncated:
      return "truncated structure";
    case PeError::kBadSignature:
      return "bad signature";
    case PeError::kBadHeader:
      return "bad header field";
    case PeError::kBadOffset:
      return "offset outside the file";
    case PeError::kLoop:
      return "resource directory loop";
    case PeError::kTooDeep:
      return "resource directory nested too deep";
    case PeError::kTooLarge:
      return "count too large";
    case PeError::kBadEntry:
      return "malformed entry";
    case PeError::kNotFound:
      return "not found";
  }
  return "unknown error";
}

}  // namespace pe
