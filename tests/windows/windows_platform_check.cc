// Checks of the Windows backend against the real system calls, built by the
// MinGW cross build and run under Wine by run_wine_tests.sh (no test framework
// is available for the target). Prints one line per check and
// "N passed, N failed"; the exit status is 1 when a check failed.
//
// With the argument "end-process" it instead writes one line and ends through
// EndProcess(7), so the script can check the status, that the line arrived,
// and that no static destructor ran. With "console" (run on a terminal, where
// Wine gives the process a console) it checks the console control trampoline
// and reports through its exit status alone: 0 when every check held. With
// "console-text" (on a terminal too) it writes an accented line through the
// program's output stream and reads the console cells back: 0 when they
// hold the text.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>
#include <string_view>

#include "platform/default_platform.h"
#include "platform/time_convert.h"
#include "platform/windows/windows_console.h"
#include "platform/windows/windows_registry.h"
#include "platform/windows/windows_system.h"

namespace qrv {
namespace {

int passed = 0;
int failed = 0;

void Check(bool ok, const char* name) {
  (ok ? passed : failed) += 1;
  std::printf("%s  %s\n", ok ? "PASS" : "FAIL", name);
}

// Its destructor runs at a normal exit only; EndProcess must not get there.
struct DestructorWitness {
  ~DestructorWitness() { std::printf("static destructor ran\n"); }
};

// CharLength must walk the code page the conversions use, CP_ACP, whatever
// the thread's locale. The check sets a Japanese thread locale (code page
// 932) while the system code page stays Wine's default single-byte one, so
// walking CP_THREAD_ACP would fail it.
void CheckSystemCodePage() {
  const LCID japanese = MAKELCID(MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), SORT_DEFAULT);
  const LCID saved = ::GetThreadLocale();
  if (::SetThreadLocale(japanese) == FALSE) {
    Check(false, "thread locale set to Japanese");
    return;
  }
  Check(::GetACP() != 932, "the system code page is not Japanese");
  WindowsSystem system;
  char converted[8] = {};
  const int length = system.WideCharToMultiByte(kCpAcp, 0, u"A\u00e9", 2, converted,
                                                sizeof converted, nullptr, nullptr);
  Check(length == 2, "CP_ACP converts a single-byte text byte for byte");
  Check(system.CharLength("\x82\xa0", 2) == 1,
        "a Japanese thread locale does not make 0x82 a lead byte");
  Check(system.CharLength("A", 1) == 1, "ASCII is one byte");
  ::SetThreadLocale(saved);
}

void CheckRegistry() {
  WindowsRegistry registry;
  HKey key = nullptr;
  Check(registry.RegOpenKeyA(LocalMachineKey(), "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                             &key) == kErrorSuccess && key != nullptr,
        "HKEY_LOCAL_MACHINE subkey opens");
  uint8_t data[260] = {};
  uint32_t size = sizeof data;
  uint32_t type = 0;
  const int32_t status =
      registry.RegQueryValueExA(key, "CurrentVersion", nullptr, &type, data, &size);
  Check(status == kErrorSuccess && type == kRegSz && size == std::strlen(reinterpret_cast<char*>(data)) + 1,
        "a REG_SZ value reads with its size and terminator");
  uint8_t small[2] = {};
  uint32_t small_size = sizeof small;
  Check(registry.RegQueryValueExA(key, "CurrentVersion", nullptr, nullptr, small, &small_size) ==
                kErrorMoreData &&
            small_size == size,
        "a value longer than the buffer gives ERROR_MORE_DATA and the size needed");
  char name[260] = {};
  Check(registry.RegEnumKeyA(key, 0, name, sizeof name) == kErrorSuccess && name[0] != '\0',
        "subkey 0 enumerates");
  Check(registry.RegEnumKeyA(key, 100000, name, sizeof name) == kErrorNoMoreItems,
        "enumeration past the end gives ERROR_NO_MORE_ITEMS");
  Check(registry.RegCloseKey(key) == kErrorSuccess, "the key closes");
  HKey missing = nullptr;
  Check(registry.RegOpenKeyA(LocalMachineKey(), "SOFTWARE\\QRV-No-Such-Key", &missing) ==
            kErrorFileNotFound,
        "a missing key gives ERROR_FILE_NOT_FOUND");
}

void CheckSystemCalls() {
  WindowsSystem system;
  char* text = nullptr;
  const uint32_t length = system.FormatMessageA(
      kFormatMessageFromSystem | kFormatMessageIgnoreInserts | kFormatMessageAllocateBuffer,
      nullptr, kErrorFileNotFound, kLangNeutralDefault, &text, 0, nullptr);
  const std::string_view message(text != nullptr ? text : "", length);
  Check(length > 2 && message.substr(message.size() - 2) == "\r\n",
        "FormatMessageA allocates the system text, line break included");
  Check(system.LocalFree(text) == nullptr, "LocalFree releases it");

  system.SetLastError(kErrorEvtMessageNotFound);
  Check(system.GetLastError() == kErrorEvtMessageNotFound, "the last-error code round-trips");

  const uint64_t ticks = kUnixEpochTicks + 1660152537ull * kTicksPerSecond + 1333044;
  const FileTime in = FileTime::FromTicks(ticks);
  SystemTime out;
  Check(system.FileTimeToSystemTime(&in, &out) && out.year == 2022 && out.month == 8 &&
            out.day == 10 && out.hour == 17 && out.minute == 28 && out.second == 57 &&
            out.milliseconds == 133,
        "FILETIME converts to the UTC calendar");
  const FileTime too_large = FileTime::FromTicks(0x8000000000000000ull);
  Check(!system.FileTimeToSystemTime(&too_large, &out), "FILETIME of 2^63 is refused");

  const int64_t now = system.CurrentTime();
  const int64_t c_now = static_cast<int64_t>(std::time(nullptr));
  Check(now >= c_now - 2 && now <= c_now + 2, "CurrentTime is Unix seconds");
}

// The notice is shown only on a visible window station: on one made without
// WSF_VISIBLE (as a service's is), MessageBoxA fails at once instead of
// waiting for a click no one can give.
void CheckInvisibleWindowStation() {
  WindowsSystem system;
  const HWINSTA saved = ::GetProcessWindowStation();
  const HWINSTA hidden = ::CreateWindowStationW(L"QrvHiddenStation", 0, WINSTA_ALL_ACCESS, nullptr);
  USEROBJECTFLAGS flags{};
  if (hidden == nullptr || ::SetProcessWindowStation(hidden) == FALSE ||
      ::GetUserObjectInformationW(hidden, UOI_FLAGS, &flags, sizeof flags, nullptr) == FALSE) {
    Check(false, "a window station of our own is made and taken");
    return;
  }
  Check((flags.dwFlags & WSF_VISIBLE) == 0, "a new window station is not visible");
  system.SetLastError(0);
  Check(system.MessageBoxA(nullptr, "", "Acceptance of Use", kMbOk) == 0 &&
            system.GetLastError() == ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION,
        "MessageBoxA on an invisible window station fails at once with 1459");
  ::SetProcessWindowStation(saved);
  ::CloseWindowStation(hidden);
}

// Output redirected to a file is not a console: the plain stream, bytes as
// they are.
void CheckRedirectedOutput() {
  Check(&StandardOutput() == &std::cout, "redirected standard output is written as bytes");
}

// Writes "caf\xe9" (CP_ACP) through the program's output stream and reads the
// cells of the line it landed on. Bit per failed check.
int CheckConsoleText() {
  const HANDLE console = ::GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (::GetConsoleMode(console, &mode) == FALSE) return 1;
  if (::GetACP() != 1252) return 2;
  std::ostream& out = StandardOutput();
  if (&out == &std::cout) return 4;
  out << "caf\xe9 \x80\n";
  out.flush();
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (::GetConsoleScreenBufferInfo(console, &info) == FALSE || info.dwCursorPosition.Y == 0) {
    return 8;
  }
  wchar_t cells[6] = {};
  DWORD read = 0;
  const COORD start{0, static_cast<SHORT>(info.dwCursorPosition.Y - 1)};
  if (::ReadConsoleOutputCharacterW(console, cells, 6, start, &read) == FALSE || read != 6) {
    return 16;
  }
  // 0xE9 and 0x80 of code page 1252: e acute and the euro sign.
  return std::wstring_view(cells, 6) == L"caf\u00e9 \u20ac" ? 0 : 32;
}

std::atomic<int> first_calls{0};
std::atomic<int> second_calls{0};
std::atomic<uint32_t> second_type{0xFFFFFFFFu};
std::atomic<int> stop_calls{0};
bool FirstHandler(uint32_t) {
  ++first_calls;
  return true;
}
// Declines the event, so the system goes on down its list of handlers.
bool SecondHandler(uint32_t ctrl_type) {
  second_type = ctrl_type;
  ++second_calls;
  return false;
}
// Registered first, called last: ends the walk before the default handler
// would end the process.
BOOL WINAPI StopHandler(DWORD) {
  ++stop_calls;
  return TRUE;
}

// Bit per failed check.
int CheckConsoleControl() {
  WindowsSystem system;
  int failures = 0;
  // As the poll command starts: Ctrl+C stops being ignored, then the handler
  // goes in. With the flag set, the event below would reach no handler.
  ::SetConsoleCtrlHandler(nullptr, TRUE);
  if (!system.SetConsoleCtrlHandler(nullptr, false)) failures |= 128;
  if (::SetConsoleCtrlHandler(StopHandler, TRUE) == FALSE) failures |= 1;
  if (!system.SetConsoleCtrlHandler(FirstHandler, true)) failures |= 2;
  // A second add replaces the handler and registers nothing more: with the
  // trampoline twice in the system's list, the declined event would reach
  // SecondHandler twice.
  if (!system.SetConsoleCtrlHandler(SecondHandler, true)) failures |= 4;
  if (::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) == FALSE) failures |= 8;
  // The system calls the handlers on a thread of its own.
  for (int i = 0; i < 100 && stop_calls == 0; ++i) ::Sleep(20);
  if (second_calls != 1 || second_type != kCtrlCEvent) failures |= 16;
  if (first_calls != 0) failures |= 32;
  if (stop_calls != 1) failures |= 64;
  return failures;
}

int Run(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "console") return CheckConsoleControl();
  if (argc > 1 && std::string_view(argv[1]) == "console-text") return CheckConsoleText();
  if (argc > 1 && std::string_view(argv[1]) == "end-process") {
    static DestructorWitness witness;
    InstallPlatform(MakeDefaultPlatform());
    WriteLine("before the end");
    EndProcess(7);
    return 0;
  }
  CheckSystemCodePage();
  CheckRegistry();
  CheckSystemCalls();
  CheckInvisibleWindowStation();
  CheckRedirectedOutput();
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}

}  // namespace
}  // namespace qrv

int main(int argc, char** argv) { return qrv::Run(argc, argv); }
