// CaptureArguments: the argument list and the Acceptance of Use notice; see
// arguments.h.
#include "app/arguments.h"

#include "platform/platform.h"
#include "platform/text.h"

namespace qrv {

namespace {
constexpr char kNoWarnWord[] = "NOWARN";
}  // namespace

ArgumentList CaptureArguments(int argc, const char* const* argv) {
  ArgumentList args;
  bool show_notice = true;
  for (int i = 0; i < argc; ++i) {
    // No trimming: " NOWARN" is an ordinary word and stays in the list.
    std::string word = argv[i] != nullptr ? argv[i] : "";
    if (EqualsNoCase(word, kNoWarnWord)) {
      show_notice = false;
    } else {
      args.push_back(std::move(word));
    }
  }
  if (show_notice) {
    // Modal; whether it was shown, dismissed or could not be shown at all
    // (no desktop, no terminal), the run goes on the same way.
    MessageBoxA(nullptr, "", kNoticeCaption, kMbOk);
  }
  return args;
}

}  // namespace qrv
