# Build helpers shared by every folder: subsystem libraries in two editions and test suites.

# A subsystem library exists in two editions: one for Vantrel and one, with
# VANTREL_REVIEW defined, for VantrelReview. SOURCES are the same in both and
# compile once; only EDITION_SOURCES (the files that test VANTREL_REVIEW)
# compile twice. Dependencies named in SUBSYSTEMS are linked edition by
# edition; PLATFORM dependencies are shared.
function(vantrel_subsystem name)
  cmake_parse_arguments(ARG "" "" "SOURCES;EDITION_SOURCES;SUBSYSTEMS;PLATFORM" ${ARGN})
  set(shared_objects)
  if(ARG_SOURCES)
    add_library(${name}_shared OBJECT ${ARG_SOURCES})
    target_link_libraries(${name}_shared PUBLIC ${ARG_PLATFORM} vantrel_panel_names)
    set(shared_objects $<TARGET_OBJECTS:${name}_shared>)
  endif()
  add_library(${name} STATIC ${ARG_EDITION_SOURCES} ${shared_objects})
  add_library(${name}_review STATIC ${ARG_EDITION_SOURCES} ${shared_objects})
  target_compile_definitions(${name}_review PUBLIC VANTREL_REVIEW)
  target_link_libraries(${name} PUBLIC ${ARG_SUBSYSTEMS} ${ARG_PLATFORM} vantrel_panel_names)
  set(review_deps)
  foreach(dep IN LISTS ARG_SUBSYSTEMS)
    list(APPEND review_deps ${dep}_review)
  endforeach()
  target_link_libraries(${name}_review PUBLIC ${review_deps} ${ARG_PLATFORM} vantrel_panel_names)
endfunction()

# One GoogleTest executable per test folder; every test runs under ctest with
# the working directory set to the tests folder of the build tree (build/tests,
# beside build/bin and build/tools).
function(vantrel_test_suite name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} vantrel_test_support GTest::gtest_main GTest::gmock Threads::Threads)
  set_target_properties(${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    INSTALL_RPATH "$ORIGIN/../bin")
  # Listing the tests of a sanitizer build on a busy machine can take far
  # longer than the 5-second default. A generated case is named by its own
  # label (vtest::ByCaseName), never by the bytes of its value.
  # The per-user notes the SQL engine keeps go to the build tree, not the user's own cache.
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    NO_PRETTY_VALUES
    DISCOVERY_TIMEOUT 300
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    PROPERTIES ENVIRONMENT "XDG_CACHE_HOME=${CMAKE_BINARY_DIR}/tests/cache")
  add_dependencies(${name} record_args)
endfunction()
