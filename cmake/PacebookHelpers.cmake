# SPDX-License-Identifier: GPL-3.0-or-later
# pacebook_add_test(NAME name SOURCES a.cpp b.cpp LIBS lib1 lib2 [GUI])
# One GoogleTest executable, registered with CTest, run headless. GUI tests
# get the program's application object, a private settings store and
# recorded message boxes (tests/support/gui).
function(pacebook_add_test)
  cmake_parse_arguments(T "GUI" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  if(T_GUI)
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} pb_testsupport_gui)
  else()
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} pb_testsupport)
  endif()
  # The source tree, for tests that use its scripts or shared files.
  target_compile_definitions(${T_NAME} PRIVATE PACEBOOK_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8"
    TIMEOUT 300)
endfunction()

# Every pb_ library named in LIBS must already be defined: a misspelt or
# missing one stops the configure step instead of leaving a target out.
function(pacebook_require_targets who)
  foreach(lib ${ARGN})
    if(lib MATCHES "^pb_" AND NOT TARGET ${lib})
      message(FATAL_ERROR "${who} needs ${lib}, which is not defined (misspelt, or defined later?)")
    endif()
  endforeach()
endfunction()

# pacebook_add_library(name DIR dir [LIBS ...])
# A static library of every .cpp/.h in DIR (the folder's own files only).
function(pacebook_add_library name)
  cmake_parse_arguments(L "" "DIR" "LIBS" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS "${L_DIR}/*.cpp" "${L_DIR}/*.h" "${L_DIR}/*.qrc")
  file(GLOB _cpp CONFIGURE_DEPENDS "${L_DIR}/*.cpp")
  if(NOT _cpp)
    message(FATAL_ERROR "${name}: no sources in ${L_DIR}")
  endif()
  pacebook_require_targets(${name} ${L_LIBS})
  add_library(${name} STATIC ${_src})
  target_include_directories(${name} PUBLIC "${L_DIR}")
  target_link_libraries(${name} PUBLIC ${L_LIBS})
endfunction()

# pacebook_add_test_dir(name DIR dir LIBS ... [GUI])
# One test executable of every .cpp in DIR.
function(pacebook_add_test_dir name)
  cmake_parse_arguments(T "GUI" "DIR" "LIBS" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS "${T_DIR}/*.cpp" "${T_DIR}/*.h")
  if(NOT _src)
    message(FATAL_ERROR "${name}: no test sources in ${T_DIR}")
  endif()
  pacebook_require_targets(${name} ${T_LIBS})
  if(T_GUI)
    pacebook_add_test(NAME ${name} SOURCES ${_src} LIBS ${T_LIBS} GUI)
  else()
    pacebook_add_test(NAME ${name} SOURCES ${_src} LIBS ${T_LIBS})
  endif()
endfunction()
