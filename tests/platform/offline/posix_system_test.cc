// PosixSystem: error texts through FormatMessageA, the message box on a
// terminal (and without one), code pages, time and the per-thread last error.
#include "platform/offline/posix_system.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <string_view>
#include <thread>

#include "platform/offline/system_error_texts.h"
#include "platform/time_convert.h"
#include "tests/support/pseudo_terminal.h"

namespace qrv {
namespace {

using std::chrono::milliseconds;
using test_support::PseudoTerminal;

constexpr uint32_t kToolFormatFlags = kFormatMessageFromSystem |
                                      kFormatMessageIgnoreInserts |
                                      kFormatMessageAllocateBuffer;

TEST(PosixSystemTest, FormatMessageAllocatesTheTextWithItsCrLf) {
  PosixSystem system;
  char* text = nullptr;
  const uint32_t length =
      system.FormatMessageA(kToolFormatFlags, nullptr, kErrorEvtChannelNotFound,
                            kLangNeutralDefault, &text, 0, nullptr);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string_view(text, length),
            SystemErrorText(kErrorEvtChannelNotFound));
  EXPECT_EQ(text[length], '\0');
  EXPECT_EQ(system.LocalFree(text), nullptr);
}

TEST(PosixSystemTest, FormatMessageFailsForACodeWithoutText) {
  PosixSystem system;
  char* text = reinterpret_cast<char*>(&system);  // must be reset
  EXPECT_EQ(system.FormatMessageA(kToolFormatFlags, nullptr, 15006, 0, &text, 0,
                                  nullptr),
            0u);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(system.GetLastError(), kErrorMrMidNotFound);
}

TEST(PosixSystemTest, FormatMessageRefusesFormsTheToolDoesNotUse) {
  PosixSystem system;
  char* text = nullptr;
  // Without ALLOCATE_BUFFER the caller's buffer would be used: not offered.
  EXPECT_EQ(system.FormatMessageA(kFormatMessageFromSystem |
                                      kFormatMessageIgnoreInserts,
                                  nullptr, 2, 0, &text, 0, nullptr),
            0u);
  EXPECT_EQ(system.GetLastError(), kErrorNotSupported);
  EXPECT_EQ(system.FormatMessageA(kToolFormatFlags, nullptr, 2, 0, nullptr, 0,
                                  nullptr),
            0u);
  EXPECT_EQ(system.GetLastError(), kErrorInvalidParameter);
}

TEST(PosixSystemTest, LastErrorBelongsToTheThread) {
  PosixSystem system;
  system.SetLastError(kErrorTimeout);
  uint32_t seen_there = 1;
  std::thread([&] {
    seen_there = system.GetLastError();
    system.SetLastError(kErrorAccessDenied);
  }).join();
  EXPECT_EQ(seen_there, kErrorSuccess);
  EXPECT_EQ(system.GetLastError(), kErrorTimeout);
}

TEST(PosixSystemTest, MessageBoxWithoutTerminalFailsAtOnce) {
  PosixSystem system("/nonexistent/tty");
  EXPECT_EQ(system.MessageBoxA(nullptr, "", "Acceptance of Use", kMbOk), 0);
  EXPECT_EQ(system.GetLastError(), kErrorRequiresInteractiveWindowStation);
}

TEST(PosixSystemTest, MessageBoxOffersOnlyOk) {
  PosixSystem system("/nonexistent/tty");
  constexpr uint32_t kMbYesNo = 4;
  EXPECT_EQ(system.MessageBoxA(nullptr, "", "Caption", kMbYesNo), 0);
  EXPECT_EQ(system.GetLastError(), kErrorNotSupported);
}

TEST(PosixSystemTest, MessageBoxWaitsForEnterAtTheTerminal) {
  PseudoTerminal terminal;
  ASSERT_TRUE(terminal.ok());
  // A key pressed before the box appears is not an answer to it.
  ASSERT_TRUE(terminal.Type("\n"));
  PosixSystem system(terminal.slave_path());
  auto answer = std::async(std::launch::async, [&] {
    return system.MessageBoxA(nullptr, "Read this first.", "Acceptance of Use",
                              kMbOk);
  });
  ASSERT_TRUE(terminal.WaitFor("OK", milliseconds(10'000))) << terminal.screen();
  EXPECT_NE(terminal.screen().find("Acceptance of Use"), std::string::npos);
  EXPECT_NE(terminal.screen().find("Read this first."), std::string::npos);
  EXPECT_EQ(answer.wait_for(milliseconds(100)), std::future_status::timeout);
  ASSERT_TRUE(terminal.Type("\r"));
  EXPECT_EQ(answer.get(), 1);
}

TEST(PosixSystemTest, AnsiCodePageIsUtf8) {
  PosixSystem system;
  const char16_t wide[] = u"Caf\u00e9 \U0001F600";
  char out[16] = {};
  const int n = system.WideCharToMultiByte(kCpThreadAcp, 0, wide, -1, out,
                                           sizeof out, nullptr, nullptr);
  EXPECT_EQ(n, 11);  // 3 + 2 + 1 + 4 + terminator
  EXPECT_STREQ(out, "Caf\xc3\xa9 \xf0\x9f\x98\x80");
  char16_t back[16] = {};
  EXPECT_EQ(system.MultiByteToWideChar(kCpAcp, 0, out, -1, back, 16), 8);
  EXPECT_EQ(std::u16string(back), wide);
  EXPECT_EQ(system.CharLength(out + 3, 8), 2u);
}

TEST(PosixSystemTest, ConversionsRefuseWhatUtf8CannotDo) {
  PosixSystem system;
  char out[8];
  constexpr uint32_t kWindows1252 = 1252;
  EXPECT_EQ(system.WideCharToMultiByte(kWindows1252, 0, u"a", 1, out, 8,
                                       nullptr, nullptr),
            0);
  EXPECT_EQ(system.GetLastError(), kErrorInvalidParameter);
  EXPECT_EQ(system.MultiByteToWideChar(kCpThreadAcp, 8, "a", 1, nullptr, 0), 0);
  EXPECT_EQ(system.GetLastError(), kErrorInvalidFlags);
  bool used = true;
  EXPECT_EQ(system.WideCharToMultiByte(kCpUtf8, 0, u"a", 1, out, 8, nullptr,
                                       &used),
            0);
  EXPECT_EQ(system.GetLastError(), kErrorInvalidParameter);
  EXPECT_EQ(system.WideCharToMultiByte(kCpUtf8, 0, u"abc", 3, out, 2, nullptr,
                                       nullptr),
            0);
  EXPECT_EQ(system.GetLastError(), kErrorInsufficientBuffer);
}

TEST(PosixSystemTest, FileTimeToSystemTimeConvertsAndRefusesTheTopHalf) {
  PosixSystem system;
  SystemTime st;
  const FileTime unix_epoch = FileTime::FromTicks(kUnixEpochTicks + 5'000'000);
  ASSERT_TRUE(system.FileTimeToSystemTime(&unix_epoch, &st));
  EXPECT_EQ(st.year, 1970);
  EXPECT_EQ(st.month, 1);
  EXPECT_EQ(st.day, 1);
  EXPECT_EQ(st.milliseconds, 500);
  const FileTime too_big = FileTime::FromTicks(0x8000000000000000ull);
  EXPECT_FALSE(system.FileTimeToSystemTime(&too_big, &st));
  EXPECT_EQ(system.GetLastError(), kErrorInvalidParameter);
}

}  // namespace
}  // namespace qrv
