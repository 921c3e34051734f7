# Release archives, made with `cmake --build <build> --target package`:
#   Windows builds: kestrel-<version>-win64.zip or -win32.zip with the
#     program, the documentation page and the licence;
#   Linux builds: kestrel-cli-<version>-linux-<machine>.tar.gz and a .deb
#     with the command-line program and the licence.
# The archives take their file times from SOURCE_DATE_EPOCH and the programs
# carry no build time or folder (cmake/release_settings.cmake), so two builds
# of one commit with the same SOURCE_DATE_EPOCH give the same bytes.

# Packing installs what is already built (the release script builds the
# programs first) instead of building every target: a release build does not
# need the test programs.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)
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
else()
  install(TARGETS kestrel-cli RUNTIME DESTINATION bin)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION share/doc/kestrel-cli)
  set(CPACK_GENERATOR TGZ DEB)
  set(CPACK_PACKAGE_NAME kestrel-cli)
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" KESTREL_PACKAGE_PLATFORM)
  set(CPACK_PACKAGE_FILE_NAME kestrel-cli-${PROJECT_VERSION}-${KESTREL_PACKAGE_PLATFORM})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "the Kestrel developers")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
