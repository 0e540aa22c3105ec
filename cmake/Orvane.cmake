# Helpers shared by every subsystem's CMakeLists.txt.
#
#   orvane_library(name [GUI] SOURCES ... [LINK ...])
#       A static library for one subsystem folder. Libraries without GUI are
#       compiled with the sanitizers when ORVANE_SANITIZE is on; GUI code is not,
#       as Qt Widgets itself is not instrumented.
#   orvane_executable(name SOURCES ... [LINK ...])
#   orvane_test(name [GUI] [MOC] SOURCES ... [LINK ...] [LABELS ...] [TIMEOUT s] [COST s])
#       MOC: the program declares a QObject class of its own (Q_OBJECT); only
#       then does it get Qt's moc step (tests and tools are built without it,
#       see tests/CMakeLists.txt).
#       COST: about how many seconds the program runs; ctest -j starts the
#       costly ones first, so a long end-to-end run does not start last.
#       A GoogleTest program registered with ctest (one ctest entry per program,
#       run headless with Qt's offscreen platform). Its main() creates a
#       QCoreApplication, or a QApplication with GUI (tests/support).
#       A test that links a library with windows (GUI, or one that links
#       such a library) gets the label "widgets"; every other test program
#       and fuzz replay is part of the target orvane_core_tests. The plain
#       Release run in scripts/test builds only that target and runs the
#       tests without the label: the window code is compiled without
#       sanitizers in every tree, so its tests there would only repeat.
#   orvane_add_subdirectories(dir1 dir2 ...)
#       Adds each listed folder; a listed folder without a CMakeLists.txt is a
#       configure error, so a misspelt or missing subsystem cannot be skipped.

set(ORVANE_WARNINGS -Wall -Wextra -Wno-unused-parameter)
set(ORVANE_SANITIZER_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)

if(ORVANE_SANITIZE)
  # Every program that links a sanitized library needs the runtimes.
  add_link_options(-fsanitize=address,undefined)
endif()

# ---- precompiled headers -------------------------------------------------------
# Most of the compile time goes to the same Qt, standard library and
# GoogleTest headers. Each kind of target (non-GUI library, GUI library, test
# program, GUI test program) shares one precompiled header, built once per
# tree by a holder target compiled with that kind's flags: GCC takes a
# precompiled header only where optimisation, sanitizers, -fPIC/-fPIE and the
# macros it was built with match. GCC only: clang refuses one built with
# other macro definitions. A header that a source needs must still be
# included by it (ORVANE_PCH=OFF builds without).
option(ORVANE_PCH "Share precompiled headers between the targets of one kind (GCC)" ON)
set(ORVANE_USE_PCH OFF)
if(ORVANE_PCH AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND NOT ORVANE_LIBFUZZER)
  set(ORVANE_USE_PCH ON)
endif()
set(ORVANE_PCH_CORE <algorithm> <cstdint> <cstring> <functional> <map> <memory> <optional> <set> <string> <vector>
    <QByteArray> <QDateTime> <QDir> <QFile> <QFileInfo> <QHash> <QList> <QObject> <QString> <QStringList>)
set(ORVANE_PCH_GUI <QAction> <QApplication> <QDialog> <QHBoxLayout> <QImage> <QLabel> <QLineEdit> <QMessageBox>
    <QPainter> <QPushButton> <QTextCursor> <QTextDocument> <QVBoxLayout> <QWidget>)
set(ORVANE_PCH_TEST <gtest/gtest.h> <gmock/gmock.h> <QCoreApplication> <QTemporaryDir>)

# The holder of one kind's header: KIND core|gui for libraries, test|gui_test
# for test programs (executables, so they are compiled as position-independent
# executables like the programs that use the header).
function(orvane_pch_holder kind)
  set(holder orvane_pch_${kind})
  if(TARGET ${holder})
    return()
  endif()
  set(headers ${ORVANE_PCH_CORE})
  if(kind MATCHES "gui")
    list(APPEND headers ${ORVANE_PCH_GUI})
    set(qt Qt6::Widgets)
  else()
    set(qt Qt6::Core)
  endif()
  if(kind MATCHES "test")
    list(APPEND headers ${ORVANE_PCH_TEST})
    add_executable(${holder} EXCLUDE_FROM_ALL ${PROJECT_SOURCE_DIR}/cmake/pch_holder_main.cpp)
    target_link_libraries(${holder} PRIVATE ${qt} GTest::gtest GTest::gmock)
    target_compile_options(${holder} PRIVATE ${ORVANE_WARNINGS} -O0)
  else()
    add_library(${holder} STATIC EXCLUDE_FROM_ALL ${PROJECT_SOURCE_DIR}/cmake/pch_holder.cpp)
    target_link_libraries(${holder} PRIVATE ${qt})
    target_compile_options(${holder} PRIVATE ${ORVANE_WARNINGS})
  endif()
  if(ORVANE_SANITIZE AND NOT kind STREQUAL "gui")
    target_compile_options(${holder} PRIVATE ${ORVANE_SANITIZER_FLAGS})
  endif()
  set_target_properties(${holder} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
  target_precompile_headers(${holder} PRIVATE ${headers})
endfunction()

# Libraries and test programs are compiled eight sources to one compiler run:
# loading the precompiled header alone costs a run about two CPU seconds (it
# is some 150-200 MB), as much as compiling a small source, and where there is
# none (the libFuzzer tree) each run parses Qt's headers again. Names at file
# scope (anonymous namespaces included) must then differ between the sources
# of one target. ORVANE_UNITY=OFF compiles every source on its own.
option(ORVANE_UNITY "Compile the sources of a library or test program together, a few at a time" ON)
function(orvane_unity name)
  if(ORVANE_UNITY)
    set_target_properties(${name} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
  endif()
endfunction()

function(orvane_use_pch name kind)
  if(ORVANE_USE_PCH)
    orvane_pch_holder(${kind})
    target_precompile_headers(${name} REUSE_FROM orvane_pch_${kind})
  endif()
endfunction()

# True (in the variable named by out) when one of the libraries has windows:
# is GUI or links a library that is (libraries are made bottom-up, so what
# they link is already known).
function(orvane_reaches_widgets out)
  set(reaches OFF)
  foreach(lib ${ARGN})
    if(TARGET ${lib})
      get_target_property(w ${lib} ORVANE_WIDGETS)
      if(w)
        set(reaches ON)
      endif()
    endif()
  endforeach()
  set(${out} ${reaches} PARENT_SCOPE)
endfunction()

add_custom_target(orvane_core_tests)

function(orvane_library name)
  cmake_parse_arguments(ARG "GUI" "" "SOURCES;LINK" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  orvane_reaches_widgets(widgets ${ARG_LINK})
  if(ARG_GUI OR widgets)
    set_target_properties(${name} PROPERTIES ORVANE_WIDGETS ON)
  endif()
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${ORVANE_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_LINK})
  orvane_unity(${name})
  if(ORVANE_SANITIZE AND NOT ARG_GUI)
    target_compile_options(${name} PRIVATE ${ORVANE_SANITIZER_FLAGS})
  endif()
  if(ARG_GUI)
    orvane_use_pch(${name} gui)
  else()
    orvane_use_pch(${name} core)
  endif()
endfunction()

function(orvane_executable name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${ORVANE_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_LINK})
endfunction()

function(orvane_test name)
  cmake_parse_arguments(ARG "GUI;MOC" "TIMEOUT;COST" "SOURCES;LINK;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_MOC)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
  endif()
  if(ARG_GUI)
    target_link_libraries(${name} PRIVATE orvane_gui_test_main)
  else()
    target_link_libraries(${name} PRIVATE orvane_test_main)
  endif()
  # Test programs are mostly GoogleTest macro expansions: -O0 compiles them in
  # about half the time of -O1 (a third of -O2) and tests the same code, since
  # the libraries under test keep their configuration's optimisation.
  target_compile_options(${name} PRIVATE ${ORVANE_WARNINGS} -O0)
  if(ORVANE_SANITIZE)
    target_compile_options(${name} PRIVATE ${ORVANE_SANITIZER_FLAGS})
  endif()
  orvane_unity(${name})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LINK} orvane_testsupport GTest::gtest GTest::gmock)
  if(ARG_GUI)
    orvane_use_pch(${name} gui_test)
  else()
    orvane_use_pch(${name} test)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  if(NOT ARG_COST)
    set(ARG_COST 0)
  endif()
  orvane_reaches_widgets(widgets ${ARG_LINK})
  if(widgets)
    list(APPEND ARG_LABELS widgets)
  else()
    add_dependencies(orvane_core_tests ${name})
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${ARG_TIMEOUT}
    COST ${ARG_COST}
    LABELS "${ARG_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1;ORVANE_SOURCE_DIR=${PROJECT_SOURCE_DIR};ORVANE_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()

macro(orvane_add_subdirectories)
  foreach(dir ${ARGN})
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${dir}: listed as a subsystem folder but has no CMakeLists.txt")
    endif()
    add_subdirectory(${dir})
  endforeach()
endmacro()

# ---- fuzzing ------------------------------------------------------------------
#   orvane_fuzz_target(name SOURCES ... [LINK ...] CORPUS dir [OPTIONS ...])
#       A fuzz target defines LLVMFuzzerTestOneInput. In a clang build with
#       ORVANE_LIBFUZZER (scripts/test makes one in build/fuzz) it is a real
#       libFuzzer program and ctest runs it for ORVANE_FUZZ_SECONDS, starting
#       from its seed corpus, with OPTIONS (libFuzzer flags such as
#       -max_len=N) after the common ones. In the ordinary build it links a
#       replay driver and ctest feeds it every file of the seed corpus, as a
#       regression test; OPTIONS do not apply there.
option(ORVANE_LIBFUZZER "Build the fuzz targets with clang's libFuzzer (only them)" OFF)
set(ORVANE_FUZZ_SECONDS 20 CACHE STRING "Seconds each libFuzzer target runs under ctest")

if(ORVANE_LIBFUZZER)
  # AddressSanitizer only. The undefined-behaviour checks split nearly every
  # arithmetic and memory step into a checked branch, which doubled the edges
  # libFuzzer counts and cost a third to a half of each input's time; they
  # run instead in the sanitizer tree, which replays the seeds and, after a
  # libFuzzer run, every input the run kept (scripts/fuzz-replay).
  add_compile_options(-fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer -g1)
  add_link_options(-fsanitize=address)
endif()

function(orvane_fuzz_target name)
  cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;LINK;OPTIONS" ${ARGN})
  set(target fuzz_${name})
  set(asan_options "detect_leaks=1")
  add_executable(${target} ${ARG_SOURCES})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${target} PRIVATE ${ARG_LINK})
  if(ORVANE_LIBFUZZER)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
    set(work ${CMAKE_CURRENT_BINARY_DIR}/${target}_corpus)
    list(JOIN ARG_OPTIONS " " options)
    # Each input frees what it allocates, so a use after free is a use
    # within that input's frees: the targets allocate 56-370 KB an input
    # (measured over their corpora), so a 4 MB quarantine keeps ten inputs'
    # frees poisoned and more. A larger one hands out memory no cache holds:
    # the default 256 MB made a quarter of the index target's time page
    # faults, and 16 MB still halved its inputs per second against 4 MB.
    # Eight frames of an allocating or freeing stack reach our code under
    # Qt's containers; a saved input replays with whatever depth is wanted.
    string(APPEND asan_options ":quarantine_size_mb=4:malloc_context_size=8")
    add_test(NAME ${target}
      COMMAND sh -c "mkdir -p '${work}' && exec '$<TARGET_FILE:${target}>' -max_total_time=${ORVANE_FUZZ_SECONDS} -seed=1 -rss_limit_mb=2560 -timeout=25 -print_final_stats=1 ${options} '${work}' '${ARG_CORPUS}'")
  else()
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/fuzz/replay_main.cpp)
    if(ORVANE_SANITIZE)
      target_compile_options(${target} PRIVATE ${ORVANE_SANITIZER_FLAGS})
    endif()
    add_test(NAME ${target} COMMAND ${target} ${ARG_CORPUS})
    add_dependencies(orvane_core_tests ${target})
  endif()
  set_tests_properties(${target} PROPERTIES LABELS fuzz TIMEOUT 600
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=${asan_options};LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  add_dependencies(fuzz_all ${target})
endfunction()
