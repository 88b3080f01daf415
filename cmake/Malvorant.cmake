# Shared helpers for the per-folder build files.

# malvorant_add_library(<name> [LIBS ...])
# A static library of every .cpp/.h in the calling folder (one level), so a new
# source file joins its folder's library without a build-file edit.
function(malvorant_add_library name)
  cmake_parse_arguments(ARG "" "" "LIBS;SOURCES" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS
    "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
  add_library(${name} STATIC ${_src} ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}")
  if(ARG_LIBS)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  endif()
endfunction()

# malvorant_add_tests(LIBS ... [LABELS ...] [SOURCES ...] [TIMEOUT n])
# One Qt Test executable and one CTest test per tst_*.cpp in the calling folder.
# SOURCES are shared helpers compiled into each of them.
function(malvorant_add_tests)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LIBS;LABELS;SOURCES;ENV" ${ARGN})
  file(GLOB _tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set(_env "QT_QPA_PLATFORM=offscreen")
  if(MALVORANT_SANITIZE)
    # An unoptimised build under AddressSanitizer runs a few times slower.
    math(EXPR ARG_TIMEOUT "${ARG_TIMEOUT} * 3")
  endif()
  if(MALVORANT_SANITIZE_THREAD)
    # Everything runs several times slower under ThreadSanitizer; a report
    # fails the test.
    math(EXPR ARG_TIMEOUT "${ARG_TIMEOUT} * 4")
    list(APPEND _env "TSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/tsan.supp die_after_fork=0 second_deadlock_stack=1")
  endif()
  foreach(_t ${_tests})
    get_filename_component(_name ${_t} NAME_WE)
    add_executable(${_name} ${_t} ${ARG_SOURCES})
    target_link_libraries(${_name} PRIVATE Qt6::Test ${ARG_LIBS})
    target_include_directories(${_name} PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}" "${CMAKE_SOURCE_DIR}/tests/common")
    target_compile_definitions(${_name} PRIVATE
      MALVORANT_TEST_DATA="${MALVORANT_TEST_DATA}"
      MALVORANT_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
      MALVORANT_BINARY_DIR="${CMAKE_BINARY_DIR}")
    add_test(NAME ${_name} COMMAND ${_name})
    set_tests_properties(${_name} PROPERTIES
      TIMEOUT ${ARG_TIMEOUT}
      ENVIRONMENT "${_env};${ARG_ENV}"
      LABELS "${ARG_LABELS}")
  endforeach()
endfunction()

# malvorant_add_bench(<name> SOURCES ... LIBS ...)
# A benchmark executable; `make bench` builds them in Release and runs them all.
function(malvorant_add_bench name)
  cmake_parse_arguments(ARG "" "" "LIBS;SOURCES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_compile_definitions(${name} PRIVATE
    MALVORANT_TEST_DATA="${MALVORANT_TEST_DATA}"
    MALVORANT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  set_property(GLOBAL APPEND PROPERTY MALVORANT_BENCHES ${name})
endfunction()
