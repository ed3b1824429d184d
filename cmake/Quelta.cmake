# Shared build settings and helpers for every folder.

set(QUELTA_WARNINGS -Wall -Wextra)
if(QUELTA_WERROR)
  list(APPEND QUELTA_WARNINGS -Werror)
endif()
add_compile_options(${QUELTA_WARNINGS})

if(QUELTA_SANITIZE)
  # GCC's flow analysis reports false "maybe uninitialized" warnings in
  # instrumented standard-library code (std::regex, std::optional).
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined -Wno-maybe-uninitialized)
  add_link_options(-fsanitize=address,undefined)
endif()

if(QUELTA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "QUELTA_FUZZ needs clang (CXX=clang++-14)")
  endif()
  # Coverage for the fuzzer in every library; the fuzz programs add libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# Shared libraries and programs land side by side, so run-time loading by
# name (dlopen of the engine, winsock and COM servers) finds them.
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
set(CMAKE_BUILD_RPATH ${PROJECT_BINARY_DIR}/bin)

# The shared test data (real FoxPro files and the like); beside the tree by
# default, settable for a tree checked out elsewhere.
set(QUELTA_SHARED_DIR "${PROJECT_SOURCE_DIR}/../shared" CACHE PATH "Folder of the shared test data")

# quelta_tests(<name> SOURCES ... LIBS ...): one GoogleTest program per folder.
function(quelta_tests name)
  if(NOT QUELTA_TESTS)
    return()
  endif()
  cmake_parse_arguments(QT "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${QT_SOURCES})
  target_link_libraries(${name} PRIVATE ${QT_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    QUELTA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    QUELTA_SHARED_DIR="${QUELTA_SHARED_DIR}"
    QUELTA_BIN_DIR="${PROJECT_BINARY_DIR}/bin")
  gtest_discover_tests(${name}
    TEST_PREFIX "${name}."
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${QT_ENV}" TIMEOUT 600)
endfunction()

# `cmake --install` puts everything into one program folder, as the tray
# programs expect (their default base folder is /opt/dovira/quelta/). The
# programs find their libraries beside themselves, wherever that folder is.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /opt/dovira/quelta CACHE PATH "The program folder" FORCE)
endif()
set(CMAKE_INSTALL_RPATH "$ORIGIN")

# quelta_install_program(<target> [FILES <file>...]): the program into the
# program folder, with the files it reads beside itself (sounds, help pages).
function(quelta_install_program target)
  cmake_parse_arguments(QI "" "" "FILES" ${ARGN})
  install(TARGETS ${target} RUNTIME DESTINATION .)
  if(QI_FILES)
    install(FILES ${QI_FILES} DESTINATION .)
  endif()
endfunction()

# quelta_install_library(<target>): a shared library of the system's own,
# loaded or linked by the programs, into the program folder.
function(quelta_install_library target)
  install(TARGETS ${target} LIBRARY DESTINATION .)
endfunction()
