// Typed errors of the PE resource readers. Every reader in this folder returns
// one of these instead of printing or aborting; kOk means the output is valid.
//
// Entry points: PeError, PeErrorText().
#ifndef QRV_FORMATS_PE_PE_ERROR_H_
#define QRV_FORMATS_PE_PE_ERROR_H_

namespace pe {

enum class PeError {
  kOk = 0,
  kTruncated,     // a structure runs past the end of the bytes given
  kBadSignature,  // MZ / PE / CRIM / WEVT / MUI signature missing
  kBadHeader,     // a header field is out of range (optional header, counts)
  kBadOffset,     // an offset or RVA points outside the file or its section
  kLoop,          // a resource directory refers back to one of its ancestors
  kTooDeep,       // resource directories nested deeper than type/name/language
  kTooLarge,      // a count exceeds what the bytes can hold or a named cap
  kBadEntry,      // an entry is malformed (message entry length or flags)
  kNotFound,      // the resource or message asked for does not exist
};

// Short English description, for logs and test failure messages.
const char* PeErrorText(PeError error);

}  // namespace pe

#endif  // QRV_FORMATS_PE_PE_ERROR_H_
