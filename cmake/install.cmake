# Where the programs and their documents go, and the packages made of them:
# the layout of each platform's own tools.

if(WIN32)
  # A flat ZIP: both programs, a README for Windows users, the batch file,
  # an example client directory, the example logs of two machines and the
  # further documents.
  install(TARGETS wutally wutally-report RUNTIME DESTINATION .)
  # With the line ends of the platform, so that any editor there shows it.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS packaging/windows/README.md)
  file(READ packaging/windows/README.md readme)
  string(REPLACE "\n" "\r\n" readme "${readme}")
  file(WRITE ${CMAKE_BINARY_DIR}/crlf/README.md "${readme}")
  install(FILES ${CMAKE_BINARY_DIR}/crlf/README.md examples/log-work-units.bat DESTINATION .)
  install(DIRECTORY examples/client/ DESTINATION example-client)
  install(DIRECTORY examples/logs/ DESTINATION example-logs)
  install(FILES docs/commands.md docs/log-format.md docs/guarantees.md docs/report.png
          DESTINATION docs)
  set(CPACK_GENERATOR ZIP)
  # Unpacked into C:\wutally, the programs lie in C:\wutally itself, as
  # Explorer's "Extract All" and the README have it.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PACKAGE_FILE_NAME wutally-${PROJECT_VERSION}-windows-x64)
  include(CPack)
  return()
endif()

set(CMAKE_INSTALL_DOCDIR share/doc/wutally CACHE PATH "Documentation (share/doc/wutally)")
include(GNUInstallDirs)
install(TARGETS wutally wutally-report RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES docs/commands.md docs/log-format.md docs/guarantees.md docs/building.md
              docs/internals.md docs/report.png
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
install(DIRECTORY examples/client examples/logs examples/farm
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
install(PROGRAMS examples/log-work-units.sh DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# Manual pages and the changelog are installed compressed, as Debian wants
# them and every man reader takes them.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(compressed)
foreach(file IN ITEMS man/wutally.1 man/wutally-report.1 packaging/changelog)
  set(output ${CMAKE_BINARY_DIR}/${file}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man ${CMAKE_BINARY_DIR}/packaging
    COMMAND ${GZIP_PROGRAM} -9n -c ${CMAKE_SOURCE_DIR}/${file} > ${output}
    DEPENDS ${CMAKE_SOURCE_DIR}/${file})
  list(APPEND compressed ${output})
endforeach()
add_custom_target(compressed-documents ALL DEPENDS ${compressed})
install(FILES ${CMAKE_BINARY_DIR}/man/wutally.1.gz ${CMAKE_BINARY_DIR}/man/wutally-report.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wutally)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "WUTally developers <wutally@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "log of finished work units of a volunteer computing client")
set(CPACK_PACKAGE_DESCRIPTION
    "Run in the working directory of a volunteer distributed-computing client
after a work unit is finished, wutally appends 56 values of the client's
state, result and account files to a CSV log, refusing a work unit the log
already holds. Several clients may share one log; runs at the same moment
wait for one another.
.
wutally-report shows what such logs hold, over one log or many: work units,
CPU time per month and per client version, the best results and the
account, as a summary, as JSON or as a self-contained page of charts.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
