# What `cmake --install` lays out, and the packages cpack makes of it.
#
# Off Windows: bin/QRV_EventLog_Tools, share/qrv-eventlog-tools/sample-image
# (tools/), share/man/man1/QRV_EventLog_Tools.1 and qrv_message_db.1,
# share/doc/qrv-eventlog-tools/README.md; the program finds the sample image
# from its own location, so the tree may be moved or unpacked anywhere.
# `cpack -G DEB` makes the Debian package (prefix /usr; dependencies from
# dpkg-shlibdeps, which needs dpkg-dev and file).
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
include(CPack)
