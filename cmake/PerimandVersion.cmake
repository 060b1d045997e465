# The product's version from res/version.h, the header the agent's version
# block is built from, so the setup program's name cannot drift from it.
# Sets PERIMAND_VERSION ("2.0.0.1").

set(version_header ${CMAKE_CURRENT_LIST_DIR}/../res/version.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${version_header})
file(STRINGS ${version_header} version_lines REGEX "^#define PERIMAND_VERSION_")

set(numbers)
foreach(part IN ITEMS MAJOR MINOR PATCH BUILD)
  if(NOT version_lines MATCHES "#define PERIMAND_VERSION_${part} ([0-9]+)")
    message(FATAL_ERROR "${version_header} has no numeric PERIMAND_VERSION_${part}")
  endif()
  list(APPEND numbers ${CMAKE_MATCH_1})
endforeach()
list(JOIN numbers "." PERIMAND_VERSION)

if(NOT version_lines MATCHES "#define PERIMAND_VERSION_STRING \"([^\"]*)\"")
  message(FATAL_ERROR "${version_header} has no PERIMAND_VERSION_STRING")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PERIMAND_VERSION)
  message(FATAL_ERROR "${version_header}: PERIMAND_VERSION_STRING \"${CMAKE_MATCH_1}\" "
                      "differs from the numbers (${PERIMAND_VERSION})")
endif()
