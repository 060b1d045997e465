# perimand_utf8_resource_scripts(<script>...)
# Resource scripts here are UTF-8. windres reads a script without
# "#pragma code_page(65001)" in the ANSI code page, and the pragma carries
# across #include, so a missing one can hide behind another file's. Refuses
# to configure rather than ship mojibake, and tells windres the code page as
# well. (CMake hands RC targets only -D and -I of their compile options, so
# the flag goes through CMAKE_RC_FLAGS, for the calling folder only: hence a
# macro.)
macro(perimand_utf8_resource_scripts)
  string(APPEND CMAKE_RC_FLAGS " --codepage=65001")
  foreach(script IN ITEMS ${ARGN})
    file(STRINGS ${script} first_line LIMIT_COUNT 1)
    if(NOT first_line STREQUAL "#pragma code_page(65001)")
      message(FATAL_ERROR "${script} must start with #pragma code_page(65001)")
    endif()
  endforeach()
endmacro()
