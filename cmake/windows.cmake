# The Windows program, its default configuration and the end-to-end tests.
enable_language(RC)
enable_testing()

# Small and self-contained: the C runtime's own printf, no exceptions or RTTI, unused code
# dropped, symbols stripped.
set(HORAVEL_SIZE_FLAGS -Os -D__USE_MINGW_ANSI_STDIO=0 -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections)
target_compile_options(horavel_core PRIVATE ${HORAVEL_SIZE_FLAGS})

configure_file(res/horavel.rc.in horavel.rc @ONLY)
configure_file(res/horavel.manifest.in horavel.manifest @ONLY)

add_executable(horavel WIN32
  app/main.cpp
  app/time_check.cpp
  app/clock.cpp
  net/udp_channel.cpp
  ${PROJECT_BINARY_DIR}/horavel.rc)
target_compile_options(horavel PRIVATE ${HORAVEL_SIZE_FLAGS})
target_link_options(horavel PRIVATE -Wl,--gc-sections -s)
target_link_libraries(horavel PRIVATE horavel_core wsock32)

# Windows line endings for the files a user opens in Notepad.
configure_file(horavel.ini ${PROJECT_BINARY_DIR}/horavel.ini @ONLY NEWLINE_STYLE CRLF)
configure_file(docs/user-guide.txt ${PROJECT_BINARY_DIR}/horavel.txt @ONLY NEWLINE_STYLE CRLF)

# The zip for Windows users: cmake --build --preset windows --target package
install(TARGETS horavel RUNTIME DESTINATION .)
install(FILES ${PROJECT_BINARY_DIR}/horavel.ini ${PROJECT_BINARY_DIR}/horavel.txt DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME horavel-${PROJECT_VERSION}-win32)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)

# The end-to-end suite: a Win32 driver that runs horavel.exe under Wine and
# watches its windows, against scripted time servers in network namespaces.
add_executable(e2e_driver tests/e2e/driver.cpp)
target_link_libraries(e2e_driver PRIVATE wsock32)

find_package(Python3 COMPONENTS Interpreter)
add_test(NAME e2e COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/e2e/run.py
                          --build ${PROJECT_BINARY_DIR})
set_tests_properties(e2e PROPERTIES LABELS e2e SKIP_RETURN_CODE 77 TIMEOUT 1800)
