# Build helpers shared by every deliverable, outside stand-in and test.
#
#   vantor_deliverable(<Name> SOURCES ... [DEF file.def] [LIBS ...] [EXE [WIN32]] [IMPORTLIB])
#   vantor_outside(<Name> ...)        same, for stand-ins of outside libraries (never shipped)
#   vantor_test_module(<Name> ...)    same, for DLLs that only tests load
#   vantor_test(<name> SOURCES ... [LIBS ...] [TIMEOUT s] [DISPLAY] [REGISTRY])   a GoogleTest EXE run under Wine;
#                                     DISPLAY: it shows windows, so it takes the display alone;
#                                     REGISTRY: it writes HKLM "SOFTWARE\Vantor", which suites share
#
# Modules get their exact file name (<Name>.dll / <Name>.exe), land in the staged program
# folder, link the mingw runtime statically, and have their export table checked against
# their .def file. IMPORTLIB marks DLLs that others link: on i686 their import library is
# rebuilt so that callers' decorated __stdcall references reach the undecorated exports.

set(VANTOR_ROOT ${CMAKE_SOURCE_DIR})
find_program(VANTOR_OBJDUMP ${VANTOR_TRIPLE}-objdump REQUIRED)
find_program(VANTOR_NM ${VANTOR_TRIPLE}-nm REQUIRED)
find_program(VANTOR_DLLTOOL ${VANTOR_TRIPLE}-dlltool REQUIRED)
find_package(Python3 COMPONENTS Interpreter REQUIRED)

set(VANTOR_TEST_TIMEOUT 300 CACHE STRING "Seconds one test executable may run")

# Test EXEs of the x86_64 build run under wine64 through the test kit's runner.
if(VANTOR_ARCH STREQUAL "x86_64")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VANTOR_ROOT}/testkit/rig/wine-run.sh ${CMAKE_BINARY_DIR})
endif()

function(vantor_apply_flags target)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX,C>:-Wall -Wextra -Wno-unused-parameter -Wno-cast-function-type -Wno-missing-field-initializers>)
  target_compile_definitions(${target} PRIVATE _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
  target_include_directories(${target} PRIVATE ${VANTOR_ROOT}/include)
  # No mingw runtime DLL is shipped: libgcc, libstdc++ and winpthread are linked in.
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--enable-stdcall-fixup)
endfunction()

# A static library of code that several modules carry.
function(vantor_static_library name)
  cmake_parse_arguments(S "" "" "SOURCES;LIBS;PUBLIC_INCLUDES" ${ARGN})
  add_library(${name} STATIC ${S_SOURCES})
  vantor_apply_flags(${name})
  target_include_directories(${name} PUBLIC ${S_PUBLIC_INCLUDES} ${VANTOR_ROOT}/include)
  target_link_libraries(${name} PUBLIC ${S_LIBS})
endfunction()

function(vantor_module name)
  cmake_parse_arguments(M "EXE;WIN32;IMPORTLIB" "KIND;DEF" "SOURCES;LIBS" ${ARGN})
  if(M_EXE)
    if(M_WIN32)
      add_executable(${name} WIN32 ${M_SOURCES})
    else()
      add_executable(${name} ${M_SOURCES})
    endif()
  else()
    if(M_DEF)
      get_filename_component(def ${M_DEF} ABSOLUTE)
    endif()
    add_library(${name} SHARED ${M_SOURCES} ${def})
    set_target_properties(${name} PROPERTIES PREFIX "" IMPORT_PREFIX "lib" IMPORT_SUFFIX ".dll.a")
    if(M_DEF)
      set_property(GLOBAL APPEND PROPERTY VANTOR_EXPORT_CHECKS "$<TARGET_FILE:${name}>|${def}")
    endif()
    if(M_IMPORTLIB AND VANTOR_ARCH STREQUAL "i686")
      add_custom_command(TARGET ${name} POST_BUILD
        COMMAND ${Python3_EXECUTABLE} ${VANTOR_ROOT}/cmake/make_i686_implib.py
                --nm ${VANTOR_NM} --objdump ${VANTOR_OBJDUMP} --dlltool ${VANTOR_DLLTOOL}
                $<TARGET_FILE:${name}> $<TARGET_LINKER_FILE:${name}>
        VERBATIM)
    endif()
  endif()
  vantor_apply_flags(${name})
  target_link_libraries(${name} PRIVATE ${M_LIBS})
  set_property(TARGET ${name} PROPERTY VANTOR_KIND ${M_KIND})
  set_property(GLOBAL APPEND PROPERTY VANTOR_MODULES_${M_KIND} ${name})
endfunction()

function(vantor_deliverable name)
  vantor_module(${name} KIND deliverable ${ARGN})
endfunction()

function(vantor_outside name)
  vantor_module(${name} KIND outside ${ARGN})
endfunction()

function(vantor_test_module name)
  vantor_module(${name} KIND testmodule ${ARGN})
endfunction()

# One CTest test per test EXE: each process start under Wine costs about a second.
function(vantor_test name)
  cmake_parse_arguments(T "DISPLAY;REGISTRY" "TIMEOUT" "SOURCES;LIBS;DEPENDS" ${ARGN})
  vantor_module(${name} KIND test EXE SOURCES ${T_SOURCES}
                LIBS vantor_testsupport gmock gtest_main gtest ${T_LIBS})
  add_dependencies(${name} vantor_stage_tree ${T_DEPENDS})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT ${VANTOR_TEST_TIMEOUT})
  endif()
  if(VANTOR_ARCH STREQUAL "x86_64")
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
      WORKING_DIRECTORY ${VANTOR_STAGE_DIR}
      TIMEOUT ${T_TIMEOUT}
      FIXTURES_REQUIRED wine_rig)
    if(T_DISPLAY)
      # Focus, activation and synthetic input are shared by every window on the display:
      # tests that show windows run one at a time.
      set_tests_properties(${name} PROPERTIES RESOURCE_LOCK wine_display)
    endif()
    if(T_REGISTRY)
      set_property(TEST ${name} APPEND PROPERTY RESOURCE_LOCK vantor_registry)
    endif()
  endif()
endfunction()

# A test run natively on Linux (scripts, checks of the build output).
function(vantor_native_test name)
  add_test(NAME ${name} COMMAND ${ARGN})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${VANTOR_TEST_TIMEOUT})
endfunction()

# The files the system reads at run time, laid out as under the program folder.
add_custom_target(vantor_stage_tree ALL)
foreach(tree config resource Skins Container)
  if(EXISTS ${VANTOR_ROOT}/${tree})
    add_custom_command(TARGET vantor_stage_tree POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_directory ${VANTOR_ROOT}/${tree} ${VANTOR_STAGE_DIR}/${tree})
  endif()
endforeach()

# Nothing shipped carries test code: no deliverable compiles a test kit or test source,
# nor links the test kit's support library or GoogleTest, directly or through a static
# library. Checked when the build is configured.
function(vantor_check_shipped)
  get_property(shipped GLOBAL PROPERTY VANTOR_MODULES_deliverable)
  foreach(module ${shipped})
    set(pending ${module})
    set(seen "")
    while(pending)
      list(POP_FRONT pending current)
      if(NOT TARGET ${current} OR current IN_LIST seen)
        continue()
      endif()
      list(APPEND seen ${current})
      if(current MATCHES "^(vantor_testsupport|gtest|gtest_main|gmock|gmock_main)$")
        message(FATAL_ERROR "${module} is shipped but links ${current}, which is test code")
      endif()
      get_target_property(sources ${current} SOURCES)
      foreach(source IN LISTS sources)
        string(REPLACE "${VANTOR_ROOT}/" "" source "${source}")
        if(source MATCHES "(^|/)(testkit|tests|bench)/")
          message(FATAL_ERROR "${module} is shipped but compiles ${source}, which is test code")
        endif()
      endforeach()
      get_target_property(links ${current} LINK_LIBRARIES)
      get_target_property(interface ${current} INTERFACE_LINK_LIBRARIES)
      foreach(link IN LISTS links interface)
        if(link)
          list(APPEND pending ${link})
        endif()
      endforeach()
    endwhile()
  endforeach()
endfunction()

function(vantor_finish)
  vantor_check_shipped()
  get_property(checks GLOBAL PROPERTY VANTOR_EXPORT_CHECKS)
  string(REPLACE ";" "\n" manifest "${checks}")
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/exports-manifest.txt CONTENT "${manifest}\n")
  vantor_native_test(exports_${VANTOR_ARCH}
    ${Python3_EXECUTABLE} ${VANTOR_ROOT}/testkit/check_exports.py
    --objdump ${VANTOR_OBJDUMP} ${CMAKE_BINARY_DIR}/exports-manifest.txt)

  # The i686 build can't run here: its export tables are checked from the x86_64 tree too.
  set(VANTOR_I686_BUILD_DIR "" CACHE PATH "i686 build folder whose exports the x86_64 tests check")
  if(VANTOR_ARCH STREQUAL "x86_64" AND VANTOR_I686_BUILD_DIR)
    vantor_native_test(exports_i686
      ${Python3_EXECUTABLE} ${VANTOR_ROOT}/testkit/check_exports.py
      --objdump i686-w64-mingw32-objdump ${VANTOR_I686_BUILD_DIR}/exports-manifest.txt)
  endif()

  if(VANTOR_ARCH STREQUAL "x86_64")
    add_test(NAME wine_rig_start COMMAND bash ${VANTOR_ROOT}/testkit/rig/rig.sh start ${CMAKE_BINARY_DIR})
    add_test(NAME wine_rig_stop COMMAND bash ${VANTOR_ROOT}/testkit/rig/rig.sh stop ${CMAKE_BINARY_DIR})
    set_tests_properties(wine_rig_start PROPERTIES FIXTURES_SETUP wine_rig TIMEOUT 180)
    set_tests_properties(wine_rig_stop PROPERTIES FIXTURES_CLEANUP wine_rig TIMEOUT 60)
  endif()
endfunction()
