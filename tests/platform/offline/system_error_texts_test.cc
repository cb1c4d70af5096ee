// The offline error texts: every code the tool or the offline backend can
// produce has one, in the shape FormatMessage gives on Windows.
#include "platform/offline/system_error_texts.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/win32_types.h"

namespace qrv {
namespace {

std::vector<uint32_t> CodesThatNeedAText() {
  std::vector<uint32_t> codes = {
      kErrorSuccess, kErrorInvalidFunction, kErrorFileNotFound,
      kErrorPathNotFound, kErrorAccessDenied, kErrorInvalidHandle,
      kErrorNotEnoughMemory, kErrorBadFormat, kErrorInvalidData,
      kErrorOutOfMemory, kErrorHandleEof, kErrorNotSupported,
      kErrorInvalidParameter, kErrorInsufficientBuffer, kErrorBadPathname,
      kErrorMoreData, kErrorNoMoreItems, kErrorMrMidNotFound,
      kErrorOperationAborted, kErrorInvalidFlags, kErrorRegistryCorrupt,
      kErrorKeyDeleted, kErrorCantOpenAnonymous, kErrorFileCorrupt,
      kErrorRequiresInteractiveWindowStation, kErrorTimeout,
      kErrorResourceDataNotFound, kErrorResourceTypeNotFound,
      kErrorResourceNameNotFound, kErrorMuiFileNotFound, kErrorMuiInvalidFile};
  // The event-log service's whole range; Windows has no 15006.
  for (uint32_t code = 15000; code <= 15038; ++code) {
    if (code != 15006) codes.push_back(code);
  }
  return codes;
}

TEST(SystemErrorTextsTest, EveryCodeTheToolMeetsHasOneLineEndingInCrLf) {
  for (uint32_t code : CodesThatNeedAText()) {
    SCOPED_TRACE(code);
    const std::string_view text = SystemErrorText(code);
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    // One line: no other line break, and it starts with a capital letter.
    EXPECT_EQ(text.find_first_of("\r\n"), text.size() - 2);
    EXPECT_TRUE(text[0] >= 'A' && text[0] <= 'Z');
  }
}

TEST(SystemErrorTextsTest, TextsDifferFromCodeToCode) {
  const std::vector<uint32_t> codes = CodesThatNeedAText();
  for (size_t i = 0; i < codes.size(); ++i) {
    for (size_t j = i + 1; j < codes.size(); ++j) {
      EXPECT_NE(SystemErrorText(codes[i]), SystemErrorText(codes[j]))
          << codes[i] << " and " << codes[j];
    }
  }
}

TEST(SystemErrorTextsTest, CodesWithoutATextGiveNone) {
  for (uint32_t code : {4u, 15006u, 15039u, 14999u, 99999u, 0x80070057u,
                        0xFFFFFFFFu}) {
    EXPECT_TRUE(SystemErrorText(code).empty()) << code;
  }
}

}  // namespace
}  // namespace qrv
