# Cross build for 64-bit Windows with MinGW-w64 from Debian
# (apt-get install g++-mingw-w64-x86-64): cmake --preset mingw.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QRV_MINGW_TRIPLE x86_64-w64-mingw32)

# The posix thread model: GCC 12's win32 model has no std::mutex, which the
# output lock needs. Its winpthread is linked statically below.
find_program(CMAKE_CXX_COMPILER NAMES ${QRV_MINGW_TRIPLE}-g++-posix ${QRV_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${QRV_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QRV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread go into the .exe, so it imports only DLLs
# that every Windows installation has (kernel32, user32, advapi32, wevtapi,
# msvcrt).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

