# Helpers shared by every library, program and test folder.

# Warnings stop the build in the configurations developers and the test command build. A user's
# Release or MinSizeRel build only reports them: newer optimisers warn about code that is sound
# (GCC 12 at -O3 flags "text" + std::string with -Wrestrict inside the standard library).
set(VISTREL_WARNINGS -Wall -Wextra $<$<NOT:$<CONFIG:Release,MinSizeRel>>:-Werror> -Wno-missing-field-initializers)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  # Checks the VTL_GUARDED_BY annotations of platform/foundation/ThreadAnnotations.h.
  list(APPEND VISTREL_WARNINGS -Wthread-safety)
endif()

# Adds each immediate child folder of DIR that has a CMakeLists.txt, in name order.
function(vistrel_add_subdirectories dir)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_SOURCE_DIR}/${dir} ${CMAKE_SOURCE_DIR}/${dir}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    set(path ${CMAKE_SOURCE_DIR}/${dir}/${child})
    if(IS_DIRECTORY ${path} AND EXISTS ${path}/CMakeLists.txt AND NOT "${dir}/${child}" STREQUAL "src/platform"
       AND NOT "${dir}/${child}" STREQUAL "tests/fuzz")
      add_subdirectory(${path})
    endif()
  endforeach()
endfunction()

# vistrel_library(NAME [QT] DEPS ...): a static library from every .cpp under the calling folder,
# except those in subfolders with a CMakeLists.txt of their own (libraries of their own, such as
# "recorder/format" inside "recorder"). Headers are included as "<folder-of-library>/Header.h"
# relative to src/ (e.g. "platform/foundation/Geometry.h").
function(vistrel_library name)
  cmake_parse_arguments(ARG "QT" "" "DEPS;PRIVATE_DEPS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB_RECURSE nested CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  foreach(lists IN LISTS nested)
    get_filename_component(folder ${lists} DIRECTORY)
    set(kept)
    foreach(source IN LISTS sources)
      string(FIND "${source}" "${folder}/" position)
      if(NOT position EQUAL 0)
        list(APPEND kept ${source})
      endif()
    endforeach()
    set(sources ${kept})
  endforeach()
  foreach(pattern IN LISTS ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${pattern}")
  endforeach()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${VISTREL_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
  endif()
endfunction()

# vistrel_test(NAME [QT] [LABELS ...] DEPS ...): one GoogleTest binary from every .cpp in the calling folder.
function(vistrel_test name)
  cmake_parse_arguments(ARG "QT" "TIMEOUT" "DEPS;LABELS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name} ${sources})
  # Test files share their heavy headers (GoogleTest, the libraries under test): compiling them a
  # few to a unit parses those once per batch instead of once per file.
  set_target_properties(${name} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 6)
  # A fixture in an anonymous namespace is sound in a unit of several files; GCC only warns
  # because the unit's files are included ones.
  target_compile_options(${name} PRIVATE ${VISTREL_WARNINGS} -Wno-subobject-linkage)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  # Fixtures are found from here: __FILE__ may be relative where ccache rewrites paths.
  target_compile_definitions(${name} PRIVATE VISTREL_TEST_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}")
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  # Labels go in a script run after discovery: a list passed through PROPERTIES loses all but its first item.
  set(labels unit ${ARG_LABELS})
  set(label_script ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
  # Tests that play into or record from the one PulseAudio null sink would hear each other.
  set(lock "")
  if("audio" IN_LIST ARG_LABELS)
    set(lock " RESOURCE_LOCK pulseaudio")
  endif()
  file(WRITE ${label_script} "if(${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${labels}\"${lock})\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${label_script})
endfunction()

# vistrel_program(NAME [QT] DEPS ...): an executable from every .cpp in the calling folder.
function(vistrel_program name)
  cmake_parse_arguments(ARG "QT" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name} ${sources})
  target_compile_options(${name} PRIVATE ${VISTREL_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
  endif()
endfunction()

# vistrel_benchmark(NAME SOURCES ... DEPS ...): a Google Benchmark program.
function(vistrel_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${VISTREL_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark benchmark::benchmark_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()

# vistrel_fuzzer(NAME SOURCES ... DEPS ...): a libFuzzer target (clang), or with other compilers a
# plain program that replays its arguments, so the target still compiles everywhere.
function(vistrel_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${VISTREL_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/fuzz/ReplayMain.cpp)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
endfunction()

include(VistrelTargetList)
