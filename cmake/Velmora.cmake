# Helpers that give every module, test and tool the same shape.

set(VELMORA_WARNINGS -Wall -Wextra -Wno-unused-parameter)

if(VELMORA_ASAN OR VELMORA_FUZZ)
  # Undefined behaviour stops the program, so a sanitizer run of the tests
  # fails on it instead of printing and passing.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined)
endif()
if(VELMORA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VELMORA_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# The headers every Qt-heavy target includes; precompiled once per target.
set(VELMORA_QT_PCH <QtCore/QString> <QtCore/QByteArray> <QtCore/QStringList> <QtCore/QHash>
    <vector> <memory> <optional> <functional> <string_view>)

# velmora_library(<name> SOURCES ... [DEPS ...])
# A static library for one module folder, target velmora_<name>. The project
# root is the include root, so headers are included as "module/file.h".
function(velmora_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(velmora_${name} STATIC ${ARG_SOURCES})
  target_include_directories(velmora_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(velmora_${name} PRIVATE ${VELMORA_WARNINGS})
  target_link_libraries(velmora_${name} PUBLIC ${ARG_DEPS})
  target_precompile_headers(velmora_${name} PRIVATE ${VELMORA_QT_PCH})
endfunction()

# velmora_test(<name> SOURCES ... DEPS ... [GERMAN_LOCALE])
# One GoogleTest executable per module; GERMAN_LOCALE runs it a second time
# under de_DE.UTF-8 to prove the output does not follow the user's locale.
function(velmora_test name)
  cmake_parse_arguments(ARG "GERMAN_LOCALE" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${VELMORA_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} velmora_test_main)
  target_precompile_headers(${name} REUSE_FROM velmora_test_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VELMORA_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
  if(ARG_GERMAN_LOCALE)
    add_test(NAME ${name}_de_DE COMMAND ${name})
    set_tests_properties(${name}_de_DE PROPERTIES
      ENVIRONMENT "LC_ALL=de_DE.UTF-8;QT_QPA_PLATFORM=offscreen;VELMORA_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
  endif()
endfunction()
