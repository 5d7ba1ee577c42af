# The version macros of the public header must tell the version the project
# is built as: a host compiled against the header and linked against the
# library sees one number.
file(STRINGS ${PROJECT_SOURCE_DIR}/include/vorlan.h VORLAN_HEADER_VERSION_LINES
  REGEX "^#define VORLAN_VERSION_(MAJOR|MINOR|PATCH|STRING) ")
foreach(field MAJOR MINOR PATCH STRING)
  set(header_${field} "")
  foreach(line ${VORLAN_HEADER_VERSION_LINES})
    if(line MATCHES "^#define VORLAN_VERSION_${field} +\"?([0-9.]+)\"?")
      set(header_${field} ${CMAKE_MATCH_1})
    endif()
  endforeach()
endforeach()
set(header_version "${header_MAJOR}.${header_MINOR}.${header_PATCH}")
if(NOT header_version STREQUAL PROJECT_VERSION OR NOT header_STRING STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "include/vorlan.h gives version ${header_version} (\"${header_STRING}\"), "
                      "the project is ${PROJECT_VERSION}: change both together")
endif()
