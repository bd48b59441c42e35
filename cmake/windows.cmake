# The Windows program, its default configuration and the end-to-end tests.
enable_language(RC)
enable_testing()

# x86 or x64: names the zip and the suite's runs; the manifest's own spelling
# must match the exe's machine type, or Windows refuses to start it.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(HORAVEL_ARCH x64)
  set(HORAVEL_MANIFEST_ARCH amd64)
else()
  set(HORAVEL_ARCH x86)
  set(HORAVEL_MANIFEST_ARCH x86)
endif()

# Small and self-contained: the C runtime's own printf, no exceptions, RTTI or
# unwind tables, no frame pointers, functions called once kept apart (inlined,
# their callers grow more than they save), data aligned only as the ABI asks
# (not each text to 32 bytes), unused code dropped, symbols stripped.
set(HORAVEL_SIZE_FLAGS -Oz -fomit-frame-pointer -fno-inline-functions-called-once -malign-data=abi
    -D__USE_MINGW_ANSI_STDIO=0 -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -fno-unwind-tables -ffunction-sections -fno-threadsafe-statics)
target_compile_options(horavel_core PRIVATE ${HORAVEL_SIZE_FLAGS})

# The message table of the event ids, so that Event Viewer shows the events'
# texts once the source is registered.
string(REGEX REPLACE "windres$" "windmc" HORAVEL_WINDMC "${CMAKE_RC_COMPILER}")
add_custom_command(OUTPUT events.rc MSG00409.bin
  COMMAND ${HORAVEL_WINDMC} -r ${PROJECT_BINARY_DIR} -h ${PROJECT_BINARY_DIR}
          ${PROJECT_SOURCE_DIR}/res/events.mc
  DEPENDS res/events.mc)

# Whoever signs releases builds them under the name in their certificate:
# the version information's CompanyName and the Apps entry's Publisher.
set(HORAVEL_PUBLISHER "Horavel" CACHE STRING "Publisher, as in the signing certificate")
set(HORAVEL_URL "" CACHE STRING "The project's web page for the Apps entry; empty for none")
set(HORAVEL_COPYRIGHT "Copyright (c) 2026 The Horavel authors")
set(HORAVEL_FILE_DESCRIPTION "Horavel PC clock check against network time servers")
configure_file(res/horavel.rc.in horavel.rc @ONLY)
# The manifest goes into the exe without its comments, indentation and
# line breaks.
file(READ res/horavel.manifest.in HORAVEL_MANIFEST)
string(REGEX REPLACE " *<!--[^>]*-->" "" HORAVEL_MANIFEST "${HORAVEL_MANIFEST}")
string(REGEX REPLACE "\n[ \n]*<" "<" HORAVEL_MANIFEST "${HORAVEL_MANIFEST}")
string(REGEX REPLACE "\n[ \n]*" " " HORAVEL_MANIFEST "${HORAVEL_MANIFEST}")
string(STRIP "${HORAVEL_MANIFEST}" HORAVEL_MANIFEST)
string(CONFIGURE "${HORAVEL_MANIFEST}" HORAVEL_MANIFEST @ONLY)
file(CONFIGURE OUTPUT horavel.manifest CONTENT "${HORAVEL_MANIFEST}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS res/horavel.manifest.in)
# The resource compiler's includes are not scanned: name them, so that a
# changed manifest or icon rebuilds the resources.
set_source_files_properties(${PROJECT_BINARY_DIR}/horavel.rc PROPERTIES OBJECT_DEPENDS
  "${PROJECT_BINARY_DIR}/horavel.manifest;${PROJECT_SOURCE_DIR}/res/horavel.ico")

add_executable(horavel WIN32
  app/main.cpp
  app/time_check.cpp
  app/clock.cpp
  app/elevation.cpp
  app/event_log.cpp
  app/install.cpp
  app/system.cpp
  app/settings.cpp
  app/task_scheduler.cpp
  net/udp_channel.cpp
  ${PROJECT_BINARY_DIR}/horavel.rc
  ${PROJECT_BINARY_DIR}/events.rc)
if(HORAVEL_ARCH STREQUAL "x86")
  target_sources(horavel PRIVATE app/divide64.cpp)
endif()
target_compile_options(horavel PRIVATE ${HORAVEL_SIZE_FLAGS})
# windows.h without the old winsock.h, which winsock2.h replaces.
target_compile_definitions(horavel PRIVATE WIN32_LEAN_AND_MEAN)

# The build's own date, the commit's: servers' counts are read in the era
# window that starts 50 years before it. tools/release passes it in.
if(NOT HORAVEL_BUILD_TIME)
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE HORAVEL_BUILD_TIME OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT HORAVEL_BUILD_TIME MATCHES "^[0-9]+$")
  set(HORAVEL_BUILD_TIME 1796083200) # 2026-12-01, for a tree without its history
endif()
target_compile_definitions(horavel PRIVATE HORAVEL_BUILD_TIME=${HORAVEL_BUILD_TIME}LL
                                           HORAVEL_VERSION="${PROJECT_VERSION}"
                                           HORAVEL_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
                                           HORAVEL_VERSION_MINOR=${PROJECT_VERSION_MINOR}
                                           HORAVEL_PUBLISHER="${HORAVEL_PUBLISHER}"
                                           HORAVEL_URL="${HORAVEL_URL}")
# Starts at HoravelStart (app/main.cpp), without the C runtime's start-up code.
if(HORAVEL_ARCH STREQUAL "x86")
  set(HORAVEL_ENTRY _HoravelStart)
else()
  set(HORAVEL_ENTRY HoravelStart)
endif()
target_link_options(horavel PRIVATE -Wl,--gc-sections -nostartfiles -Wl,-e,${HORAVEL_ENTRY})
# Stripped afterwards rather than by the linker, to drop libgcc's unwind
# tables (x86) with the symbols: nothing reads them, with no exceptions and
# no start-up code to register them; the image may name them .eh_fram, cut
# to the eight letters of a section name. strip stamps the exe with the time
# unless told a date: 0, as the linker leaves it.
string(REGEX REPLACE "windres$" "strip" HORAVEL_STRIP "${CMAKE_RC_COMPILER}")
add_custom_command(TARGET horavel POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
          ${HORAVEL_STRIP} --strip-all --remove-section=.eh_fram* $<TARGET_FILE:horavel> VERBATIM)
target_link_libraries(horavel PRIVATE horavel_core ws2_32)

# Windows line endings for the files a user opens in Notepad; they go into
# the zip beside horavel.exe (tools/release).
configure_file(horavel.ini ${PROJECT_BINARY_DIR}/horavel.ini @ONLY NEWLINE_STYLE CRLF)
configure_file(docs/user-guide.txt ${PROJECT_BINARY_DIR}/horavel.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(CHANGELOG.md ${PROJECT_BINARY_DIR}/CHANGELOG.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(LICENSE ${PROJECT_BINARY_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
# Group Policy's administrative template, for PolicyDefinitions and its en-US folder.
configure_file(res/horavel.admx ${PROJECT_BINARY_DIR}/horavel.admx COPYONLY)
configure_file(res/en-US/horavel.adml ${PROJECT_BINARY_DIR}/en-US/horavel.adml COPYONLY)

find_package(Python3 COMPONENTS Interpreter)

# What Windows itself checks when it loads the exe, and Wine does not.
add_test(NAME exe COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/exe/check_exe.py
                          $<TARGET_FILE:horavel> ${PROJECT_VERSION})

# The end-to-end suite: a Win32 driver that runs horavel.exe under Wine and
# watches its windows, against scripted time servers in network namespaces.
add_executable(e2e_driver tests/e2e/driver.cpp)
target_link_libraries(e2e_driver PRIVATE wsock32 advapi32)

add_test(NAME e2e COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/e2e/run.py
                          --build ${PROJECT_BINARY_DIR} --arch ${HORAVEL_ARCH})
set_tests_properties(e2e PROPERTIES LABELS e2e SKIP_RETURN_CODE 77 TIMEOUT 1800)
