# Test plumbing: GoogleTest built for the target, Wine as the emulator that
# runs every test executable, and one helper to declare a test executable
# whose cases ctest discovers and runs one by one.

set(PERIMAND_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${PERIMAND_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

include(GoogleTest)

# Wine prefix, generated locales and the lock that guards them live in the
# build tree, never in the user's ~/.wine. Targets created from here on run
# under the wrapper, test discovery included.
set(PERIMAND_WINE_STATE_DIR ${CMAKE_BINARY_DIR}/wine)
set(PERIMAND_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh --state-dir ${PERIMAND_WINE_STATE_DIR})
set(CMAKE_CROSSCOMPILING_EMULATOR ${PERIMAND_WINE_RUN})

# The prefix is made by the build (15 s, over two minutes on busy cores),
# never by ctest: the discovery below runs every test program under Wine as
# ctest starts, before any test, and the first one would pay for the prefix
# within its own time-out. Only trees whose programs run here make one; each
# test program depends on it, so building a single one makes it too.
if(PERIMAND_WINE_TESTS)
  add_custom_target(perimand_wine_prefix ALL
    COMMAND ${PERIMAND_WINE_RUN} --prefix
    COMMENT "Making the tests' Wine prefix unless it is there"
    VERBATIM)
endif()

# One Wine session for the whole run: made (or woken) before the first test
# and ended after the last, so services registered by one test survive into
# the next, and nothing is left running when ctest returns. Every test that
# runs under Wine requires this fixture; ctest -R pulls both ends in. The
# start has a time-out of its own: it makes the prefix if it has gone since
# the build.
set(PERIMAND_WINE_FIXTURE wine_session)
add_test(NAME wine.session.start COMMAND ${PERIMAND_WINE_RUN} --setup)
add_test(NAME wine.session.end COMMAND ${PERIMAND_WINE_RUN} --shutdown)
set_tests_properties(wine.session.start PROPERTIES
  FIXTURES_SETUP ${PERIMAND_WINE_FIXTURE} TIMEOUT 300 LABELS wine)
set_tests_properties(wine.session.end PROPERTIES
  FIXTURES_CLEANUP ${PERIMAND_WINE_FIXTURE} TIMEOUT 60 LABELS wine)

# Tests that start the agent, broadcast "Exit" or own window titles seen by
# the whole Wine session take this lock, so ctest -j never runs two of them
# side by side.
set(PERIMAND_SESSION_LOCK wine_desktop)

# The status block's names are machine-wide. Test programs take an in-Wine
# lock around them (tests/doubles/status/SharedNamesLock.h); a test that
# publishes from outside a test program, and cannot take that lock, shares
# this one with every program that uses the names and is not serial.
set(PERIMAND_STATUS_NAMES_LOCK status_block_names)

# perimand_add_gtest(<name>
#     SOURCES <files...>
#     [LIBRARIES <targets...>]
#     [RESOURCES]               link the agent's compiled resources into the test executable
#     [JAPANESE]                also run every case a second time under a Japanese locale
#     [JAPANESE_ONLY <filter>]  cases (a gtest filter, e.g. "JapaneseLocale.*") that run only
#                               under the Japanese locale
#     [SERIAL]                  cases touch the shared Wine session (agent windows, "Exit"
#                               broadcasts): never run beside each other under ctest -j
#     [LABELS <labels...>]
#     [PROPERTIES <name value...>])  further ctest properties for every case
#
# Japanese cases are named "ja.<Suite>.<Case>"; they run with
# PERIMAND_LOCALE=ja_JP.UTF-8, which cmake/wine-run.sh turns into a generated
# locale, so they should first assert GetACP() == 932.
function(perimand_add_gtest name)
  cmake_parse_arguments(T "RESOURCES;JAPANESE;SERIAL" "JAPANESE_ONLY" "SOURCES;LIBRARIES;LABELS;PROPERTIES" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBRARIES} GTest::gmock GTest::gtest_main)
  if(T_RESOURCES)
    target_sources(${name} PRIVATE $<TARGET_OBJECTS:perimand_resources>)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(TARGET perimand_wine_prefix)
    add_dependencies(${name} perimand_wine_prefix)
  endif()

  set(english_filter "")
  set(japanese_filter "")
  if(T_JAPANESE_ONLY)
    set(english_filter "*-${T_JAPANESE_ONLY}")
    if(NOT T_JAPANESE)
      set(japanese_filter "${T_JAPANESE_ONLY}")
    endif()
  endif()

  # NO_PRETTY_VALUES: with named parameters the pretty form would glue the
  # parameter's bytes onto the test's name.
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    NO_PRETTY_VALUES
    TEST_FILTER "${english_filter}"
    TEST_LIST ${name}_TESTS)
  if(T_JAPANESE OR T_JAPANESE_ONLY)
    gtest_discover_tests(${name}
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 120
      NO_PRETTY_VALUES
      TEST_PREFIX "ja."
      TEST_FILTER "${japanese_filter}"
      TEST_LIST ${name}_JA_TESTS)
  endif()

  # Properties go on the discovered cases from a file ctest reads after the
  # discovery's own: gtest_discover_tests(PROPERTIES) flattens list values
  # (several labels, an environment) into stray name/value pairs.
  set(common "TIMEOUT 300 FIXTURES_REQUIRED ${PERIMAND_WINE_FIXTURE}")
  if(T_SERIAL)
    string(APPEND common " RESOURCE_LOCK ${PERIMAND_SESSION_LOCK}")
  endif()
  set(pairs ${T_PROPERTIES})
  list(LENGTH pairs left)
  while(left GREATER 1)
    list(POP_FRONT pairs property value)
    string(APPEND common " ${property} [==[${value}]==]")
    list(LENGTH pairs left)
  endwhile()
  set(japanese_labels ${T_LABELS})
  list(APPEND japanese_labels japanese)
  set(script "foreach(test IN LISTS ${name}_TESTS)\n")
  string(APPEND script "  set_tests_properties(\"\${test}\" PROPERTIES ${common}")
  if(T_LABELS)
    string(APPEND script " LABELS [==[${T_LABELS}]==]")
  endif()
  string(APPEND script ")\nendforeach()\n")
  string(APPEND script "foreach(test IN LISTS ${name}_JA_TESTS)\n")
  string(APPEND script "  set_tests_properties(\"\${test}\" PROPERTIES ${common}"
                       " LABELS [==[${japanese_labels}]==]"
                       " ENVIRONMENT [==[PERIMAND_LOCALE=ja_JP.UTF-8]==])\nendforeach()\n")
  set(properties_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
  file(WRITE ${properties_file} "${script}")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${properties_file})
endfunction()
