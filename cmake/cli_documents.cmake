# The documents of kestrel-cli made from its switch table when it is built
# (cli/docs/make_cli_docs.cpp): the manual page, from the prose of
# docs/kestrel-cli.1.in, as kestrel-cli.1 and compressed as kestrel-cli.1.gz,
# and the bash completion completion/kestrel-cli, all in the build folder.
# Native builds only: the documents belong to the Linux package.

# Where the page sends reports: the issue tracker of the build settings,
# else the package's maintainer.
if(KESTREL_ISSUES_PAGE)
  set(KESTREL_BUGS_TEXT "Report problems at\n.IR ${KESTREL_ISSUES_PAGE} .")
else()
  string(REPLACE "<" "\\(la\\%" KESTREL_BUGS_TEXT "${KESTREL_PACKAGE_MAINTAINER}")
  string(REPLACE ">" "\\(ra" KESTREL_BUGS_TEXT "${KESTREL_BUGS_TEXT}")
  set(KESTREL_BUGS_TEXT "Report problems to the package's maintainer,\n${KESTREL_BUGS_TEXT}.")
endif()
set(KESTREL_MANUAL_TEMPLATE ${KESTREL_GENERATED_DIR}/kestrel-cli.1.in)
configure_file(${PROJECT_SOURCE_DIR}/docs/kestrel-cli.1.in ${KESTREL_MANUAL_TEMPLATE} @ONLY)

add_executable(make_cli_docs ${PROJECT_SOURCE_DIR}/cli/docs/make_cli_docs.cpp)
target_link_libraries(make_cli_docs PRIVATE kestrel_cli_core)
kestrel_warnings(make_cli_docs)

set(KESTREL_MANUAL_PAGE ${CMAKE_BINARY_DIR}/kestrel-cli.1)
set(KESTREL_BASH_COMPLETION ${CMAKE_BINARY_DIR}/completion/kestrel-cli)
add_custom_command(OUTPUT ${KESTREL_MANUAL_PAGE}
  COMMAND make_cli_docs manual ${KESTREL_MANUAL_TEMPLATE} ${KESTREL_MANUAL_PAGE}
  DEPENDS make_cli_docs ${KESTREL_MANUAL_TEMPLATE}
  COMMENT "Writing the manual page kestrel-cli.1" VERBATIM)
# Debian's policy: manual pages compressed with gzip -9, without a name or
# time in the header (-n), so that the package is reproducible.
add_custom_command(OUTPUT ${KESTREL_MANUAL_PAGE}.gz
  COMMAND gzip -9nkf ${KESTREL_MANUAL_PAGE}
  DEPENDS ${KESTREL_MANUAL_PAGE} VERBATIM)
add_custom_command(OUTPUT ${KESTREL_BASH_COMPLETION}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/completion
  COMMAND make_cli_docs completion ${KESTREL_BASH_COMPLETION}
  DEPENDS make_cli_docs
  COMMENT "Writing the bash completion of kestrel-cli" VERBATIM)
add_custom_target(kestrel_cli_documents ALL
  DEPENDS ${KESTREL_MANUAL_PAGE} ${KESTREL_MANUAL_PAGE}.gz ${KESTREL_BASH_COMPLETION})
