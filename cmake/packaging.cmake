# What `cmake --install` lays out, and the packages cpack makes of it.
#
# Off Windows: bin/QRV_EventLog_Tools, share/qrv-eventlog-tools/sample-image
# (tools/), share/man/man1/QRV_EventLog_Tools.1 and qrv_message_db.1,
# share/doc/qrv-eventlog-tools/README.md; the program finds the sample image
# from its own location, so the tree may be moved or unpacked anywhere.
# `cpack -G DEB` makes the Debian package (prefix /usr; dependencies from
# dpkg-shlibdeps, which needs dpkg-dev and file, and the packages of the
# libraries the program loads at run time).
#
# On Windows (the MinGW build): QRV_EventLog_Tools.exe in bin/ and the README
# at the top; `cpack -G ZIP` makes the zip.
#
# Every program a folder installs with install(TARGETS) joins both.
if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
else()
  install(FILES ${PROJECT_SOURCE_DIR}/doc/QRV_EventLog_Tools.1
                ${PROJECT_SOURCE_DIR}/doc/qrv_message_db.1
          DESTINATION share/man/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md
          DESTINATION share/doc/qrv-eventlog-tools)
endif()

set(CPACK_PACKAGE_NAME qrv-eventlog-tools)
set(CPACK_PACKAGE_VENDOR "QRV")
set(CPACK_PACKAGE_CONTACT "QRV Event Log Tools <${QRV_SUPPORT_EMAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Lists the channels, providers and events of the Windows Event Log")
set(CPACK_PACKAGE_DESCRIPTION
    "Answers questions about the Windows Event Log and prints one tab-separated \
line per item. Off Windows it reads an offline Windows image: .evtx files, \
registry hives and message resources; a sample image is included.")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Libraries loaded with dlopen (The Sleuth Kit for disk images, SQLite for
# message databases; cmake/loaded_library.cmake) are
# invisible to dpkg-shlibdeps: the package that holds each file the build
# found is named here, beside what dpkg-shlibdeps adds.
get_property(qrv_loaded_files GLOBAL PROPERTY QRV_LOADED_LIBRARY_FILES)
find_program(QRV_DPKG dpkg)
foreach(file IN LISTS qrv_loaded_files)
  set(owner)
  if(QRV_DPKG)
    execute_process(COMMAND ${QRV_DPKG} -S ${file} OUTPUT_VARIABLE owner ERROR_QUIET)
  endif()
  if(owner MATCHES "^([^:, ]+)(:[^:, ]+)?: ")
    list(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ${CMAKE_MATCH_1})
  else()
    message(WARNING "No Debian package holds ${file}; the .deb will not depend on it")
  endif()
endforeach()
list(JOIN CPACK_DEBIAN_PACKAGE_DEPENDS ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
include(CPack)
