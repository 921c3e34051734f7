# The files Debian's policy asks of every binary package, made in the build
# folder's debian/: the machine-readable copyright file, with the licence
# text of LICENSE, and the changelog of a native package, compressed.

# LICENSE: a title, "Copyright (c) YEAR HOLDERS", then the licence text.
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE KESTREL_LICENSE_LINES)
set(KESTREL_LICENSE_TEXT "")
set(KESTREL_COPYRIGHT_HOLDERS "")
foreach(line IN LISTS KESTREL_LICENSE_LINES)
  if(line MATCHES "^Copyright \\(c\\) (.+)$")
    set(KESTREL_COPYRIGHT_HOLDERS "${CMAKE_MATCH_1}")
  elseif(KESTREL_COPYRIGHT_HOLDERS)
    # The text follows the copyright line, one space in, "." for a blank line.
    if(line STREQUAL "")
      string(APPEND KESTREL_LICENSE_TEXT " .\n")
    else()
      string(APPEND KESTREL_LICENSE_TEXT " ${line}\n")
    endif()
  endif()
endforeach()
string(REGEX REPLACE "^ \\.\n" "" KESTREL_LICENSE_TEXT "${KESTREL_LICENSE_TEXT}")
string(REGEX REPLACE "\n$" "" KESTREL_LICENSE_TEXT "${KESTREL_LICENSE_TEXT}")
if(NOT KESTREL_COPYRIGHT_HOLDERS)
  message(FATAL_ERROR "LICENSE has no line \"Copyright (c) YEAR HOLDERS\"")
endif()

# The release date as the changelog writes it (RFC 2822), its weekday by
# Zeller's congruence (0 is Saturday).
if(NOT KESTREL_RELEASE_DATE MATCHES "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
  message(FATAL_ERROR "KESTREL_RELEASE_DATE is not YYYY-MM-DD: ${KESTREL_RELEASE_DATE}")
endif()
set(day_text ${CMAKE_MATCH_3})
math(EXPR year "${CMAKE_MATCH_1}")
math(EXPR month "${CMAKE_MATCH_2}")
math(EXPR day "${CMAKE_MATCH_3}")
set(zeller_month ${month})
set(zeller_year ${year})
if(month LESS 3)
  math(EXPR zeller_month "${month} + 12")
  math(EXPR zeller_year "${year} - 1")
endif()
math(EXPR weekday "(${day} + (13 * (${zeller_month} + 1)) / 5 + ${zeller_year} + ${zeller_year} / 4 - ${zeller_year} / 100 + ${zeller_year} / 400) % 7")
set(weekday_names "Sat;Sun;Mon;Tue;Wed;Thu;Fri")
list(GET weekday_names ${weekday} weekday_name)
math(EXPR month_index "${month} - 1")
set(month_names "Jan;Feb;Mar;Apr;May;Jun;Jul;Aug;Sep;Oct;Nov;Dec")
list(GET month_names ${month_index} month_name)
set(KESTREL_RELEASE_DATE_RFC2822 "${weekday_name}, ${day_text} ${month_name} ${year} 00:00:00 +0000")

set(KESTREL_DEBIAN_COPYRIGHT ${CMAKE_BINARY_DIR}/debian/copyright)
set(KESTREL_DEBIAN_CHANGELOG ${CMAKE_BINARY_DIR}/debian/changelog)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/copyright.in ${KESTREL_DEBIAN_COPYRIGHT} @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${KESTREL_DEBIAN_CHANGELOG} @ONLY)
add_custom_command(OUTPUT ${KESTREL_DEBIAN_CHANGELOG}.gz
  COMMAND gzip -9nkf ${KESTREL_DEBIAN_CHANGELOG}
  DEPENDS ${KESTREL_DEBIAN_CHANGELOG} VERBATIM)
# The report document the manual page refers to, compressed as the policy
# asks of documents in /usr/share/doc.
set(KESTREL_REPORT_DOCUMENT ${CMAKE_BINARY_DIR}/debian/report.md)
add_custom_command(OUTPUT ${KESTREL_REPORT_DOCUMENT}.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/report.md ${KESTREL_REPORT_DOCUMENT}
  COMMAND gzip -9nf ${KESTREL_REPORT_DOCUMENT}
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/report.md VERBATIM)
add_custom_target(kestrel_package_documents ALL
  DEPENDS ${KESTREL_DEBIAN_CHANGELOG}.gz ${KESTREL_REPORT_DOCUMENT}.gz)
