// The argument list: the process's command-line words in order, every word
// equal to NOWARN (any letter case) removed. Index 0 is the program path,
// index 1 the command word, index 2 onwards the command's arguments.
#ifndef QRV_APP_ARGUMENTS_H_
#define QRV_APP_ARGUMENTS_H_

#include <string>
#include <vector>

namespace qrv {

using ArgumentList = std::vector<std::string>;

}  // namespace qrv

#endif  // QRV_APP_ARGUMENTS_H_
