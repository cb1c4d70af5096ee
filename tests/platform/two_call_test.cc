#include "platform/two_call.h"

#include <gtest/gtest.h>

#include "tests/support/fake_platform.h"

namespace qrv {
namespace {

class TwoCallTest : public ::testing::Test {
 protected:
  void TearDown() override { SetAllocationFaultHook(nullptr); }
  fake::FakePlatform fake_;
  fake::FakeScope scope_{fake_};
};

TEST_F(TwoCallTest, SizesThenFillsABufferOfExactlyTheReportedSize) {
  std::vector<uint32_t> sizes;
  TwoCallResult r = ReadTwoCall(2, [&](uint32_t size, void* buf, uint32_t* used) {
    sizes.push_back(size);
    *used = 4;
    if (size < 4) {
      fake_.system.SetLastError(kErrorInsufficientBuffer);
      return false;
    }
    std::memcpy(buf, u"abc", 8);
    return true;
  });
  ASSERT_EQ(r.status, TwoCallStatus::kFilled);
  EXPECT_EQ(r.units, 4u);
  EXPECT_EQ(sizes, (std::vector<uint32_t>{0, 4}));
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(r.data.get())), u"abc");
}

TEST_F(TwoCallTest, SizingFailuresAreReportedWithoutASecondCall) {
  int calls = 0;
  TwoCallResult r = ReadTwoCall(1, [&](uint32_t, void*, uint32_t*) {
    ++calls;
    fake_.system.SetLastError(kErrorEvtMessageNotFound);
    return false;
  });
  EXPECT_EQ(r.status, TwoCallStatus::kFirstCallFailed);
  EXPECT_EQ(r.error, kErrorEvtMessageNotFound);
  EXPECT_EQ(calls, 1);

  r = ReadTwoCall(1, [&](uint32_t, void*, uint32_t*) { return true; });
  EXPECT_EQ(r.status, TwoCallStatus::kFirstCallSucceeded);
}

TEST_F(TwoCallTest, AllocationFailureStopsBeforeTheSecondCall) {
  SetAllocationFaultHook([](size_t) { return true; });
  int calls = 0;
  TwoCallResult r = ReadTwoCall(1, [&](uint32_t, void*, uint32_t* used) {
    ++calls;
    *used = 64;
    fake_.system.SetLastError(kErrorInsufficientBuffer);
    return false;
  });
  EXPECT_EQ(r.status, TwoCallStatus::kAllocationFailed);
  EXPECT_EQ(calls, 1);
}

// The message protocol: the sizing call gets a real buffer of size 0, the
// answer buffer one character more than reported (for the terminator some
// builds write past the size given), and the codes that still report a size
// lead to the second call.
TEST_F(TwoCallTest, MessageTextProbesWithABufferAndKeepsASpareCharacter) {
  static size_t allocated;
  SetAllocationFaultHook([](size_t bytes) {
    allocated = bytes;
    return false;
  });
  const uint32_t sized_codes[] = {
      kErrorInsufficientBuffer, kErrorEvtUnresolvedValueInsert,
      kErrorEvtUnresolvedParameterInsert, kErrorEvtMaxInsertsReached};
  for (const uint32_t code : sized_codes) {
    std::vector<uint32_t> sizes;
    TwoCallResult r =
        ReadMessageText([&](uint32_t size, void* buf, uint32_t* used) {
          sizes.push_back(size);
          EXPECT_NE(buf, nullptr);
          auto* text = static_cast<char16_t*>(buf);
          text[size] = u'\0';  // past the size given, as Windows may
          *used = 3;
          if (size >= 3) std::memcpy(buf, u"%1", 4);
          fake_.system.SetLastError(code);
          return false;
        });
    ASSERT_EQ(r.status, TwoCallStatus::kFilled) << code;
    EXPECT_EQ(r.error, code);
    EXPECT_EQ(r.units, 3u);
    EXPECT_EQ(allocated, 4 * sizeof(char16_t));
    EXPECT_EQ(sizes, (std::vector<uint32_t>{0, 3}));
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(r.data.get())),
              u"%1");
  }
  for (const uint32_t code : {kErrorEvtMessageNotFound, kErrorAccessDenied}) {
    TwoCallResult r = ReadMessageText([&](uint32_t, void*, uint32_t* used) {
      *used = 3;
      fake_.system.SetLastError(code);
      return false;
    });
    EXPECT_EQ(r.status, TwoCallStatus::kFirstCallFailed);
    EXPECT_EQ(r.error, code);
  }
  // The plain protocol still counts only 122 as a size.
  TwoCallResult r = ReadTwoCall(1, [&](uint32_t, void*, uint32_t* used) {
    *used = 3;
    fake_.system.SetLastError(kErrorEvtUnresolvedValueInsert);
    return false;
  });
  EXPECT_EQ(r.status, TwoCallStatus::kFirstCallFailed);
}

}  // namespace
}  // namespace qrv
