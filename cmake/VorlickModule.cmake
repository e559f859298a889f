# One library per folder: every *.cpp beside the CMakeLists (mains excluded) goes into it,
# every tests/*.cpp into one GoogleTest binary, every fuzz/*.cpp into its own libFuzzer target
# (tests and fuzzers also link TEST_DEPS).
#
#   vorlick_module(NAME <lib> [DEPS <targets>...] [TEST_DEPS <targets>...] [EXCLUDE <files>...])
function(vorlick_module)
  cmake_parse_arguments(M "" "NAME" "DEPS;TEST_DEPS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(ex ${M_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${ex})
  endforeach()
  if(sources)
    add_library(${M_NAME} STATIC ${sources})
    target_link_libraries(${M_NAME} PUBLIC vorlick_options ${M_DEPS})
    if(VORLICK_FUZZ)
      # The code under test needs the coverage and sanitizer instrumentation, not only the harness.
      target_compile_options(${M_NAME} PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
      target_link_options(${M_NAME} INTERFACE -fsanitize=address,undefined)
    endif()
  else()
    add_library(${M_NAME} INTERFACE)
    target_link_libraries(${M_NAME} INTERFACE vorlick_options ${M_DEPS})
  endif()

  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  if(tests)
    add_executable(${M_NAME}_tests ${tests})
    target_link_libraries(${M_NAME}_tests PRIVATE ${M_NAME} ${M_TEST_DEPS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
    target_compile_definitions(${M_NAME}_tests PRIVATE
      VORLICK_SOURCE_DIR="${PROJECT_SOURCE_DIR}" VORLICK_BINARY_DIR="${PROJECT_BINARY_DIR}")
    gtest_discover_tests(${M_NAME}_tests DISCOVERY_MODE PRE_TEST
      PROPERTIES ENVIRONMENT "VORLICK_BINARY_DIR=${PROJECT_BINARY_DIR}")
  endif()

  if(VORLICK_FUZZ)
    file(GLOB fuzzers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/*.cpp)
    foreach(f ${fuzzers})
      get_filename_component(stem ${f} NAME_WE)
      add_executable(fuzz_${stem} ${f})
      target_link_libraries(fuzz_${stem} PRIVATE ${M_NAME} ${M_TEST_DEPS})
      target_compile_options(fuzz_${stem} PRIVATE -fsanitize=fuzzer,address,undefined)
      target_link_options(fuzz_${stem} PRIVATE -fsanitize=fuzzer,address,undefined)
    endforeach()
  endif()
endfunction()
