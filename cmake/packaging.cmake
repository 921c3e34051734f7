# Release archives, made with `cmake --build <build> --target package`:
#   Windows builds: kestrel-<version>-win64.zip or -win32.zip with the
#     program, the documentation page and the licence;
#   Linux builds: kestrel-cli-<version>-linux-<machine>.tar.gz and a .deb
#     with the command-line program (stripped), its manual page and bash
#     completion, and the Debian copyright and changelog files.
# The archives take their file times from SOURCE_DATE_EPOCH, the compressed
# files carry no name or time (gzip -n), and the programs carry no build time
# or folder (cmake/release_settings.cmake), so two builds of one commit with
# the same SOURCE_DATE_EPOCH give the same bytes.
#
# The target `package` is the project's own: it builds exactly what it packs
# (the program and its documents, never the tests) and then runs cpack. The
# configuration has its own name so that CMake makes no built-in `package`
# target, which would build everything, or, as cpack installs only what is
# already built, nothing.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_OUTPUT_CONFIG_FILE ${CMAKE_BINARY_DIR}/KestrelPackageConfig.cmake)
set(CPACK_PACKAGE_VENDOR "the Kestrel developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Turns one folder into one ISO 9660 or UDF disc image")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(KESTREL_PACKAGE_PLATFORM win64)
  else()
    set(KESTREL_PACKAGE_PLATFORM win32)
  endif()
  install(TARGETS kestrel RUNTIME DESTINATION .)
  install(FILES ${CMAKE_BINARY_DIR}/${KESTREL_DOCUMENTATION_PAGE} ${PROJECT_SOURCE_DIR}/LICENSE
    DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME kestrel)
  set(CPACK_PACKAGE_FILE_NAME kestrel-${PROJECT_VERSION}-${KESTREL_PACKAGE_PLATFORM})
  set(KESTREL_PACKED_TARGETS kestrel)
else()
  include(${CMAKE_CURRENT_LIST_DIR}/debian_files.cmake)
  set(KESTREL_PACKAGE_DOCS share/doc/kestrel-cli)
  install(TARGETS kestrel-cli RUNTIME DESTINATION bin)
  install(FILES ${KESTREL_MANUAL_PAGE}.gz DESTINATION share/man/man1)
  install(FILES ${KESTREL_BASH_COMPLETION} DESTINATION share/bash-completion/completions)
  # The copyright file holds the licence, so LICENSE itself is not packed
  # (Debian keeps licences in one place).
  install(FILES ${KESTREL_DEBIAN_COPYRIGHT} ${KESTREL_DEBIAN_CHANGELOG}.gz
    ${KESTREL_REPORT_DOCUMENT}.gz DESTINATION ${KESTREL_PACKAGE_DOCS})
  set(CPACK_GENERATOR TGZ DEB)
  set(CPACK_STRIP_FILES TRUE)
  set(CPACK_PACKAGE_NAME kestrel-cli)
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" KESTREL_PACKAGE_PLATFORM)
  set(CPACK_PACKAGE_FILE_NAME kestrel-cli-${PROJECT_VERSION}-${KESTREL_PACKAGE_PLATFORM})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KESTREL_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  if(KESTREL_PROJECT_PAGE)
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${KESTREL_PROJECT_PAGE}")
  endif()
  # The extended description, below the synopsis (the summary above); CPack
  # indents its lines by one space and writes "." for an empty one.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "kestrel-cli writes the contents of a folder into an optical-disc image
(.iso) in a single pass: ISO 9660 for CDs, ISO 9660 with a UDF 1.02 bridge
for DVDs, UDF 1.02, or UDF 2.50 with a metadata partition for Blu-ray and
UHD discs. Nothing in the folder is changed.

DVD-video folders are laid out as DVD players expect, Blu-ray folders are
written as UDF 2.50 with the two views of 3D titles interleaved, and folders
copied from bootable discs (GRUB, ISOLINUX, installer discs) stay bootable
for PC BIOS and UEFI. A JSON report of each build serves scripts.")
  set(KESTREL_PACKED_TARGETS kestrel-cli kestrel_cli_documents kestrel_package_documents)
endif()

include(CPack)
# CMake reserves the name `package` while the default configuration file
# exists; a build folder configured before it had its own name holds one.
file(REMOVE ${CMAKE_BINARY_DIR}/CPackConfig.cmake)
add_custom_target(package
  COMMAND ${CMAKE_CPACK_COMMAND} --config ${CPACK_OUTPUT_CONFIG_FILE}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Packing ${CPACK_PACKAGE_FILE_NAME}" VERBATIM)
add_dependencies(package ${KESTREL_PACKED_TARGETS})
