# tarvik_add_test(NAME name SOURCES a.cpp b.cpp LIBS lib... [LABELS l...])
# One GoogleTest executable; every TEST becomes its own CTest entry. Tests that talk to the
# independent peer read its location from TARVIK_PEER_DIR / TARVIK_PYTHON in the environment.
function(tarvik_add_test)
  if(NOT TARVIK_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  target_compile_definitions(${T_NAME} PRIVATE
    TARVIK_PEER_DIR="${TARVIK_PEER_DIR}" TARVIK_PYTHON="${TARVIK_PYTHON}"
    TARVIK_BINARY_DIR="${PROJECT_BINARY_DIR}" TARVIK_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  # Discovered tests take one label, the component (the first of LABELS): gtest_discover_tests
  # flattens a list of labels into the property list, which would swallow the TIMEOUT after it.
  list(GET T_LABELS 0 label)
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${label}" TIMEOUT 120)
endfunction()
