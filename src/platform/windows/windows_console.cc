// Console output in UTF-16; see windows_console.h.
#include "platform/windows/windows_console.h"

#include <windows.h>

#include <iostream>

namespace qrv {

ConsoleLineBuffer::int_type ConsoleLineBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) {
    return traits_type::not_eof(c);
  }
  pending_.push_back(traits_type::to_char_type(c));
  return c;
}

std::streamsize ConsoleLineBuffer::xsputn(const char* data,
                                          std::streamsize size) {
  pending_.append(data, static_cast<size_t>(size));
  return size;
}

int ConsoleLineBuffer::sync() {
  if (pending_.empty()) return 0;
  const int length = static_cast<int>(pending_.size());
  const int needed = ::MultiByteToWideChar(code_page_, 0, pending_.data(),
                                           length, nullptr, 0);
  if (needed <= 0) {
    pending_.clear();
    return -1;
  }
  wide_.resize(static_cast<size_t>(needed));
  ::MultiByteToWideChar(code_page_, 0, pending_.data(), length,
                        reinterpret_cast<LPWSTR>(wide_.data()), needed);
  pending_.clear();
  // A console takes a long text in more than one write.
  const char16_t* rest = wide_.data();
  DWORD left = static_cast<DWORD>(wide_.size());
  while (left > 0) {
    DWORD written = 0;
    if (::WriteConsoleW(static_cast<HANDLE>(console_), rest, left, &written,
                        nullptr) == FALSE ||
        written == 0) {
      return -1;
    }
    rest += written;
    left -= written;
  }
  return 0;
}

std::ostream& StandardOutput() {
  const HANDLE handle = ::GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
      ::GetConsoleMode(handle, &mode) == FALSE) {
    return std::cout;
  }
  // Never destroyed, like the system backend: the console control thread may
  // write its last line while the main thread runs the static destructors.
  static ConsoleLineBuffer* const buffer = new ConsoleLineBuffer(handle, CP_ACP);
  static std::ostream* const stream = new std::ostream(buffer);
  return *stream;
}

}  // namespace qrv
