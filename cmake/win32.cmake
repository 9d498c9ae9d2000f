# The Windows product: the Win32 backend with the native windows, and
# YRNUpdate.exe. Cross-compiled (cmake/mingw-i686.cmake), tests run under Wine.
enable_language(RC)

file(GLOB YRN_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/win32/*.cpp
     ${CMAKE_SOURCE_DIR}/src/ui/win32/*.cpp)
list(FILTER YRN_WIN32_SOURCES EXCLUDE REGEX "/main\\.cpp$")
add_library(yrn_win32 STATIC ${YRN_WIN32_SOURCES})
target_link_libraries(yrn_win32 PUBLIC yrn_core version comctl32 shell32 ole32 uuid user32 gdi32 advapi32 bcrypt)
# Unicode throughout: the tool calls the W functions only.
# The version resource takes its numbers from the configured yrn_version.h.
target_include_directories(yrn_win32 PUBLIC ${CMAKE_BINARY_DIR}/generated)
target_compile_definitions(yrn_win32 PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

add_executable(YRNUpdate WIN32 src/ui/win32/main.cpp src/ui/win32/YRNUpdate.rc)
target_link_libraries(YRNUpdate PRIVATE yrn_win32)
target_link_options(YRNUpdate PRIVATE -municode)
file(GLOB YRN_GLYPHS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/ui/win32/res/*.bmp)
set_source_files_properties(src/ui/win32/YRNUpdate.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/src/ui/win32/YRNUpdate.manifest;${CMAKE_SOURCE_DIR}/src/ui/win32/resource.h;${YRN_GLYPHS}")

if(YRN_BUILD_TESTS)
  # The system's GoogleTest is built for the host; build it from its sources
  # for Windows. It defines GTest::gtest and GTest::gtest_main.
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  target_compile_options(gtest PRIVATE -w)
  target_compile_options(gtest_main PRIVATE -w)

  # Every test program runs under Wine in the build tree's own prefix, of
  # the build's own width (a 64-bit build is for tests only).
  set(YRN_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(YRN_WINE env WINEARCH=win64)
  else()
    set(YRN_WINE env WINEARCH=win32)
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${YRN_WINE} ${CMAKE_SOURCE_DIR}/tests/wine/wine-run.sh ${YRN_WINEPREFIX})
  # The test list is read when ctest runs, not at build time: a 32-bit build
  # also compiles where 32-bit Wine cannot start.
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

  # Programs the tests start: marker records its command line, launch
  # starts a command line verbatim.
  foreach(helper marker launch)
    add_executable(yrn_${helper} ${CMAKE_SOURCE_DIR}/tests/wine/${helper}.cpp)
    target_compile_definitions(yrn_${helper} PRIVATE UNICODE _UNICODE)
    target_link_options(yrn_${helper} PRIVATE -municode)
    set_target_properties(yrn_${helper} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  endforeach()
  set_target_properties(YRNUpdate PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

  # Runs once the tests directory has defined yrn_tests.
  function(yrn_win32_tests)
    add_dependencies(yrn_tests yrn_marker yrn_launch YRNUpdate)
    # The program's resources, for the tests of what the windows load.
    target_sources(yrn_tests PRIVATE ${CMAKE_SOURCE_DIR}/src/ui/win32/YRNUpdate.rc)
    # The POSIX backend's registry-file format and PE reader, compared with
    # Windows' own functions.
    target_sources(yrn_tests PRIVATE ${CMAKE_SOURCE_DIR}/src/platform/posix/RegFile.cpp
                   ${CMAKE_SOURCE_DIR}/src/platform/posix/pe/PeVersion.cpp)
    add_test(NAME win32_e2e
             COMMAND ${YRN_WINE} ${CMAKE_SOURCE_DIR}/tests/wine/e2e.sh ${CMAKE_BINARY_DIR} ${YRN_WINEPREFIX})
    set_tests_properties(win32_e2e PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
    add_test(NAME win32_dialogs
             COMMAND ${YRN_WINE} ${CMAKE_SOURCE_DIR}/tests/wine/dialogs.sh ${CMAKE_BINARY_DIR} ${YRN_WINEPREFIX})
    set_tests_properties(win32_dialogs PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
    add_test(NAME win32_self_update
             COMMAND ${YRN_WINE} ${CMAKE_SOURCE_DIR}/tests/wine/self-update.sh ${CMAKE_BINARY_DIR} ${YRN_WINEPREFIX})
    set_tests_properties(win32_self_update PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
  endfunction()
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL yrn_win32_tests)
endif()
