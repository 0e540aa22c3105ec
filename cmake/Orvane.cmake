# Helpers shared by every subsystem's CMakeLists.txt.
#
#   orvane_library(name [GUI] SOURCES ... [LINK ...])
#       A static library for one subsystem folder. Libraries without GUI are
#       compiled with the sanitizers when ORVANE_SANITIZE is on; GUI code is not,
#       as Qt Widgets itself is not instrumented.
#   orvane_executable(name SOURCES ... [LINK ...])
#   orvane_test(name [GUI] SOURCES ... [LINK ...] [LABELS ...] [TIMEOUT s])
#       A GoogleTest program registered with ctest (one ctest entry per program,
#       run headless with Qt's offscreen platform). Its main() creates a
#       QCoreApplication, or a QApplication with GUI (tests/support).
#   orvane_add_subdirectories(dir1 dir2 ...)
#       Adds each listed folder that exists, so subsystems can arrive one by one.

set(ORVANE_WARNINGS -Wall -Wextra -Wno-unused-parameter)
set(ORVANE_SANITIZER_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)

if(ORVANE_SANITIZE)
  # Every program that links a sanitized library needs the runtimes.
  add_link_options(-fsanitize=address,undefined)
endif()

function(orvane_library name)
  cmake_parse_arguments(ARG "GUI" "" "SOURCES;LINK" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${ORVANE_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_LINK})
  if(ORVANE_SANITIZE AND NOT ARG_GUI)
    target_compile_options(${name} PRIVATE ${ORVANE_SANITIZER_FLAGS})
  endif()
endfunction()

function(orvane_executable name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${ORVANE_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_LINK})
endfunction()

function(orvane_test name)
  cmake_parse_arguments(ARG "GUI" "TIMEOUT" "SOURCES;LINK;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_GUI)
    target_link_libraries(${name} PRIVATE orvane_gui_test_main)
  else()
    target_link_libraries(${name} PRIVATE orvane_test_main)
  endif()
  target_compile_options(${name} PRIVATE ${ORVANE_WARNINGS})
  if(ORVANE_SANITIZE)
    target_compile_options(${name} PRIVATE ${ORVANE_SANITIZER_FLAGS})
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LINK} orvane_testsupport GTest::gtest GTest::gmock)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${ARG_TIMEOUT}
    LABELS "${ARG_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1;ORVANE_SOURCE_DIR=${PROJECT_SOURCE_DIR};ORVANE_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()

macro(orvane_add_subdirectories)
  foreach(dir ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endmacro()
