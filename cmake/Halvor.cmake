# Build rules shared by every folder: compile flags, programs, tests and resources.

option(HALVOR_SANITIZE "Build with address and undefined-behaviour sanitizers" OFF)
option(HALVOR_WERROR "Treat warnings as errors" OFF)

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# Installed layout: the programs side by side in lib/halvor (each finds the others next to itself), the one
# launcher in bin, data in share/halvor. Not the multiarch libdir: these are programs, not libraries.
include(GNUInstallDirs)
set(HALVOR_INSTALL_PROGRAMDIR lib/halvor CACHE PATH "Where the programs are installed, under the prefix")
set(HALVOR_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/halvor)
# halvor_install_path_from(<out> <from> <to>)  the install folder <to> as seen from <from>, so that an
# installed tree finds its parts wherever it is put (a DESTDIR, an unpacked package).
function(halvor_install_path_from out from to)
    foreach(dir from to)
        if(NOT IS_ABSOLUTE ${${dir}})
            set(${dir} ${CMAKE_INSTALL_PREFIX}/${${dir}})
        endif()
    endforeach()
    file(RELATIVE_PATH path ${from} ${to})
    set(${out} ${path} PARENT_SCOPE)
endfunction()
halvor_install_path_from(HALVOR_DATA_FROM_PROGRAMS ${HALVOR_INSTALL_PROGRAMDIR} ${HALVOR_INSTALL_DATADIR})

find_program(HALVOR_CCACHE ccache)
if(HALVOR_CCACHE)
    set(CMAKE_CXX_COMPILER_LAUNCHER ${HALVOR_CCACHE})
endif()

add_library(halvor_config INTERFACE)
target_compile_features(halvor_config INTERFACE cxx_std_20)
target_compile_options(halvor_config INTERFACE -Wall -Wextra -Wpedantic $<$<BOOL:${HALVOR_WERROR}>:-Werror>)
# Only the libraries a program or module calls are named in it: an imported target's own needs (Qt Charts'
# OpenGL) stay that library's, and the package depends on no more than is used.
target_link_options(halvor_config INTERFACE -Wl,--as-needed)

# Debian's build flags, as dpkg-buildflags gives them with every hardening feature on (stack protector,
# fortified functions, relocations read-only and bound at start), so the package is built as Debian builds
# its own. Not with the sanitizers, whose unoptimised build cannot fortify.
option(HALVOR_DEBIAN_FLAGS "Compile and link with dpkg-buildflags' hardened flags" ON)
find_program(HALVOR_DPKG_BUILDFLAGS dpkg-buildflags)
if(HALVOR_DEBIAN_FLAGS AND HALVOR_DPKG_BUILDFLAGS AND NOT HALVOR_SANITIZE)
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
        execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                                ${HALVOR_DPKG_BUILDFLAGS} --get ${kind}
                        OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
        separate_arguments(flags UNIX_COMMAND "${flags}")
        # The build folder's path map would differ between checkouts, and ccache could share nothing.
        list(FILTER flags EXCLUDE REGEX "^-f(file|debug|macro)-prefix-map=")
        set(HALVOR_DEBIAN_${kind} ${flags})
    endforeach()
    target_compile_options(halvor_config INTERFACE ${HALVOR_DEBIAN_CPPFLAGS} ${HALVOR_DEBIAN_CXXFLAGS})
    target_link_options(halvor_config INTERFACE ${HALVOR_DEBIAN_LDFLAGS})
endif()
if(HALVOR_SANITIZE)
    target_compile_options(halvor_config INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                   -fno-sanitize-recover=undefined)
    target_link_options(halvor_config INTERFACE -fsanitize=address,undefined)
endif()

# Folders the tests share: a private runtime folder (Qt insists on 0700), databases and screenshots.
set(HALVOR_TEST_RUNTIME ${CMAKE_BINARY_DIR}/test-runtime)
file(MAKE_DIRECTORY ${HALVOR_TEST_RUNTIME}/xdg ${HALVOR_TEST_RUNTIME}/db ${CMAKE_BINARY_DIR}/screenshots)
file(CHMOD ${HALVOR_TEST_RUNTIME}/xdg DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

# halvor_runtime_packages(<Debian package>...)  what a folder's code loads by name at run time (Qt plugins,
# fonts), which dpkg-shlibdeps cannot see in the programs; the Debian package depends on them.
function(halvor_runtime_packages)
    set_property(GLOBAL APPEND PROPERTY HALVOR_RUNTIME_PACKAGES ${ARGN})
endfunction()

# halvor_add_library(<name> SOURCES ... [LIBS ...])  a static library with the shared flags.
function(halvor_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC halvor_config ${ARG_LIBS})
endfunction()

# halvor_add_program(<name> SOURCES main.cpp LIBS ...)  one of the suite's executables, built into bin/ and
# installed beside the others.
function(halvor_add_program name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE halvor_config ${ARG_LIBS})
    install(TARGETS ${name} RUNTIME DESTINATION ${HALVOR_INSTALL_PROGRAMDIR})
endfunction()

# A throwaway PostgreSQL server for the tests that ask for one: CTest starts it before the first of them and
# stops it after the last (a fixture), listening only on a socket in this folder.
set(HALVOR_TEST_PG_DIR ${HALVOR_TEST_RUNTIME}/pg)
set(HALVOR_TEST_PG "postgresql://postgres@/postgres?host=${HALVOR_TEST_PG_DIR}")
if(BUILD_TESTING)
    add_test(NAME postgres_start COMMAND ${PROJECT_SOURCE_DIR}/tools/pg-test-cluster start ${HALVOR_TEST_PG_DIR})
    add_test(NAME postgres_stop COMMAND ${PROJECT_SOURCE_DIR}/tools/pg-test-cluster stop ${HALVOR_TEST_PG_DIR})
    set_tests_properties(postgres_start PROPERTIES FIXTURES_SETUP postgres)
    set_tests_properties(postgres_stop PROPERTIES FIXTURES_CLEANUP postgres)
    # Every run of the tests starts from empty settings folders: a test that failed halfway must not leave a
    # setting (a shared computer, whose menu then waits for a learner) to the next run.
    add_test(NAME settings_clear COMMAND ${CMAKE_COMMAND} -E rm -rf ${HALVOR_TEST_RUNTIME}/config)
    set_tests_properties(settings_clear PROPERTIES FIXTURES_SETUP settings)
endif()
# However CTest is started, a test that waits for an answer nobody gives is stopped (seconds).
if(HALVOR_SANITIZE)
    set(HALVOR_TEST_TIMEOUT 900)
else()
    set(HALVOR_TEST_TIMEOUT 300)
endif()

# halvor_add_test(<name> SOURCES ... LIBS ... [XVFB [SCREEN WxHxD]] [POSTGRES])
# A Qt Test executable registered with CTest. Widget tests run on the offscreen platform; XVFB runs the
# test under a real X server (for process tests driven with xdotool), of 1280x1024x24 unless SCREEN says.
# Each test gets its own VUR_MDB and its own settings folders. POSTGRES: the test server runs meanwhile, its
# superuser's URI in HALVOR_TEST_PG.
function(halvor_add_test name)
    cmake_parse_arguments(ARG "XVFB;POSTGRES" "SCREEN" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_SCREEN)
        set(ARG_SCREEN 1280x1024x24)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE halvor_config Qt6::Test ${ARG_LIBS})
    # Every test sees the one set of clock and random-source doubles.
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/interfaces/common/tests)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    # Sounds come from the sound module, which the tests find in HALVOR_MODULES.
    add_dependencies(${name} halvor-sound)
    if(ARG_XVFB)
        add_test(NAME ${name} COMMAND xvfb-run -a -s "-screen 0 ${ARG_SCREEN}" $<TARGET_FILE:${name}>)
        set(platform xcb)
    else()
        add_test(NAME ${name} COMMAND ${name})
        set(platform offscreen)
    endif()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT
        "QT_QPA_PLATFORM=${platform};XDG_RUNTIME_DIR=${HALVOR_TEST_RUNTIME}/xdg;VUR_MDB=${HALVOR_TEST_RUNTIME}/db/${name}.mdb;HALVOR_SCREENSHOTS=${CMAKE_BINARY_DIR}/screenshots;HALVOR_BIN=${CMAKE_BINARY_DIR}/bin;HALVOR_MODULES=${CMAKE_BINARY_DIR}/bin/modules;ASAN_OPTIONS=detect_leaks=0;UBSAN_OPTIONS=print_stacktrace=1;QT_LOGGING_RULES=qt.multimedia*=false;XDG_CONFIG_HOME=${HALVOR_TEST_RUNTIME}/config/${name};XDG_CONFIG_DIRS=${HALVOR_TEST_RUNTIME}/config/${name}-system;HALVOR_DATABASE=;HALVOR_LEARNER=")
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED settings TIMEOUT ${HALVOR_TEST_TIMEOUT})
    if(ARG_POSTGRES)
        set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT "HALVOR_TEST_PG=${HALVOR_TEST_PG}")
        set_property(TEST ${name} APPEND PROPERTY FIXTURES_REQUIRED postgres)
    endif()
endfunction()

# halvor_add_resources(<target> <folder> [<part>])
# Packs a program's artwork and sounds as Qt resources named by id (<part> names a second set of one target,
# such as pictures the build fills in):
#   <folder>/bitmap/*.svg|png  -> :/bitmap/<file>      <folder>/cursor/*  -> :/cursor/<file>
#   <folder>/icon/*            -> :/icon/<file>        <folder>/html/*    -> :/html/<file>
#   <folder>/wave/<id>.notes   -> :/wave/<id>.wav, synthesised at build time by halvor-wavsynth
#   <folder>/wave/<id>.wav     -> :/wave/<id>.wav as it is
function(halvor_add_resources target folder)
    set(set_name ${target})
    if(ARGC GREATER 2)
        set(set_name ${target}_${ARGV2})
    endif()
    set(files)
    foreach(kind bitmap cursor icon html)
        file(GLOB found CONFIGURE_DEPENDS ${folder}/${kind}/*)
        foreach(f IN LISTS found)
            get_filename_component(base ${f} NAME)
            set_source_files_properties(${f} PROPERTIES QT_RESOURCE_ALIAS ${kind}/${base})
            list(APPEND files ${f})
        endforeach()
    endforeach()
    # Pictures, cursors and window icons drawn ahead for the usual pixel ratios: loading them costs less than drawing the
    # SVG (and its text) while the first window waits. The SVG stays for other ratios and sizes.
    foreach(kind bitmap cursor icon)
        file(GLOB svgs CONFIGURE_DEPENDS ${folder}/${kind}/*.svg)
        if(NOT svgs)
            continue()
        endif()
        set(drawn_folder ${CMAKE_CURRENT_BINARY_DIR}/${set_name}-drawn/${kind})
        set(drawn)
        foreach(f IN LISTS svgs)
            get_filename_component(stem ${f} NAME_WE)
            foreach(ratio 1 2) # halvor::kPrerenderedRatios
                set(out ${drawn_folder}/${stem}@${ratio}x.px)
                set_source_files_properties(${out} PROPERTIES QT_RESOURCE_ALIAS ${kind}/${stem}@${ratio}x.px
                                                              GENERATED TRUE)
                list(APPEND drawn ${out})
            endforeach()
        endforeach()
        add_custom_command(OUTPUT ${drawn}
            COMMAND halvor-iconrender --pictures ${drawn_folder} ${svgs}
            DEPENDS halvor-iconrender ${svgs}
            COMMENT "Drawing the ${kind} pictures of ${set_name} ahead" VERBATIM)
        list(APPEND files ${drawn})
    endforeach()
    file(GLOB waves CONFIGURE_DEPENDS ${folder}/wave/*.wav)
    foreach(f IN LISTS waves)
        get_filename_component(base ${f} NAME)
        set_source_files_properties(${f} PROPERTIES QT_RESOURCE_ALIAS wave/${base})
        list(APPEND files ${f})
    endforeach()
    file(GLOB notes CONFIGURE_DEPENDS ${folder}/wave/*.notes)
    foreach(f IN LISTS notes)
        get_filename_component(id ${f} NAME_WE)
        set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}-wave/${id}.wav)
        add_custom_command(OUTPUT ${out}
            COMMAND halvor-wavsynth ${f} ${out}
            DEPENDS halvor-wavsynth ${f}
            COMMENT "Synthesising ${id}.wav for ${target}" VERBATIM)
        set_source_files_properties(${out} PROPERTIES QT_RESOURCE_ALIAS wave/${id}.wav GENERATED TRUE)
        list(APPEND files ${out})
    endforeach()
    if(files)
        qt_add_resources(${target} ${set_name}_resources PREFIX / FILES ${files})
    endif()
endfunction()

# halvor_add_subfolders()  a folder's tests/ (when testing is on) and bench/ (benchmarks, not CTest tests).
macro(halvor_add_subfolders)
    if(BUILD_TESTING AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/tests/CMakeLists.txt)
        add_subdirectory(tests)
    endif()
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/bench/CMakeLists.txt)
        # Benchmarks go to build/bench, so build/bin holds only the suite's programs.
        set(_halvor_bin ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
        set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
        add_subdirectory(bench)
        set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${_halvor_bin})
    endif()
endmacro()

# CommonCore: the platform interfaces that plain logic classes may use (clock, random source), Qt Core only.
add_library(CommonCore INTERFACE)
target_include_directories(CommonCore INTERFACE ${PROJECT_SOURCE_DIR}/interfaces/common)
target_link_libraries(CommonCore INTERFACE Qt6::Core)
