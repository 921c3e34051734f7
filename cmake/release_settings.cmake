# Release settings: the version (stated once, in project(VERSION) of the root
# CMakeLists.txt), the release date, and the program's web addresses. They
# reach the C++ code and the resource script through the generated header
# kestrel/version.h, and the documentation page is put beside the programs.

set(KESTREL_RELEASE_DATE "2025-10-02")
if(PROJECT_VERSION_PATCH STREQUAL "")
  set(KESTREL_VERSION_PATCH 0)
else()
  set(KESTREL_VERSION_PATCH ${PROJECT_VERSION_PATCH})
endif()

# Web pages of the options menu (translation, issues) and of the about box's
# link (the product page it opens, the home-page address it shows). A build
# without them opens the documentation page shipped beside the program.
set(KESTREL_PROJECT_PAGE "" CACHE STRING "Project page that the Translation menu item opens")
set(KESTREL_ISSUES_PAGE "" CACHE STRING "Issue tracker that the Report issues menu item opens")
set(KESTREL_PRODUCT_PAGE "" CACHE STRING "Product page that the about box's link opens")
set(KESTREL_HOME_PAGE "" CACHE STRING "Home-page address that the about box's link shows")
set(KESTREL_DOCUMENTATION_PAGE "kestrel.html")
# Who answers for the Linux package, in Debian's "Name <address>" form: the
# Maintainer of the .deb, the contact of its copyright file and changelog,
# and, without an issue tracker, where the manual page sends reports.
set(KESTREL_PACKAGE_MAINTAINER "Kestrel developers <developers@kestrel.example.org>" CACHE STRING
  "Maintainer of the Linux package, as Name <address>")

set(KESTREL_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${KESTREL_GENERATED_DIR}/kestrel/version.h @ONLY)
include_directories(BEFORE ${KESTREL_GENERATED_DIR})

# The documentation page, beside the programs in the build folder as in the
# release archive.
configure_file(${PROJECT_SOURCE_DIR}/docs/kestrel.html
  ${CMAKE_BINARY_DIR}/${KESTREL_DOCUMENTATION_PAGE} COPYONLY)

# Reproducible programs: no source folder in the objects, and no link time in
# the Windows programs' headers (the MinGW linker stamps one by default).
if(NOT MSVC)
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=)
endif()
if(WIN32 AND NOT MSVC)
  string(APPEND CMAKE_EXE_LINKER_FLAGS " -Wl,--no-insert-timestamp")
endif()
