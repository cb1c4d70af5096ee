// ConsoleLineBuffer: the tool's output when standard output is a console. The
// tool's text is in the ANSI code page, which is right in a file or a pipe,
// but a console draws bytes in its own output code page (OEM by default), so
// accented letters would come out garbled on screen. This buffer gathers what
// is written until the flush that ends each line, turns those ANSI bytes back
// into UTF-16 and writes them with WriteConsoleW: the same text, drawn as it
// reads. Redirected output never comes here and keeps its bytes.
#ifndef QRV_PLATFORM_WINDOWS_WINDOWS_CONSOLE_H_
#define QRV_PLATFORM_WINDOWS_WINDOWS_CONSOLE_H_

#include <ostream>
#include <streambuf>
#include <string>

namespace qrv {

class ConsoleLineBuffer : public std::streambuf {
 public:
  // `console` is a console output handle (a HANDLE, for which
  // GetConsoleMode succeeds); `code_page` the one the bytes are in.
  ConsoleLineBuffer(void* console, unsigned code_page)
      : console_(console), code_page_(code_page) {}

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* data, std::streamsize size) override;
  // Writes what was gathered; -1 when the console refused it.
  int sync() override;

 private:
  void* console_;
  unsigned code_page_;
  std::string pending_;
  std::u16string wide_;  // scratch, keeps its capacity
};

// The tool's output stream: a console stream over ConsoleLineBuffer when
// standard output is a console, else std::cout.
std::ostream& StandardOutput();

}  // namespace qrv

#endif  // QRV_PLATFORM_WINDOWS_WINDOWS_CONSOLE_H_
