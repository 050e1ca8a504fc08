# okukipo_add_test(NAME SOURCES src... LIBS lib... [WEBENGINE] [LABELS l...])
# One Qt Test executable registered with CTest.  WEBENGINE tests get the
# environment QtWebEngine needs when it runs as root inside the suite.
function(okukipo_add_test name)
    cmake_parse_arguments(T "WEBENGINE" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt5::Test ${T_LIBS})
    target_compile_definitions(${name} PRIVATE
        OKUKIPO_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data")
    add_test(NAME ${name} COMMAND ${name})
    set(env "QT_QPA_PLATFORM=xcb")
    if(T_WEBENGINE)
        list(APPEND env "QTWEBENGINE_DISABLE_SANDBOX=1" "QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu --no-sandbox")
    endif()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" LABELS "${T_LABELS}")
endfunction()

# okukipo_add_fuzzer(NAME SOURCES src... LIBS lib... [SECONDS n])
# A libFuzzer target, run by CTest for a bounded time with its seed corpus.
function(okukipo_add_fuzzer name)
    cmake_parse_arguments(F "" "SECONDS" "SOURCES;LIBS" ${ARGN})
    if(NOT F_SECONDS)
        set(F_SECONDS 20)
    endif()
    add_executable(${name} ${F_SOURCES})
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    add_dependencies(fuzzers ${name})
    set(work "${CMAKE_CURRENT_BINARY_DIR}/corpus/${name}")
    file(MAKE_DIRECTORY "${work}")
    add_test(NAME ${name}
             COMMAND ${name} -max_total_time=${F_SECONDS} -timeout=10 -rss_limit_mb=2048
                     "${work}" "${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name}")
    set_tests_properties(${name} PROPERTIES LABELS fuzz)
endfunction()

# okukipo_library(NAME DIRS dir... [EXCLUDE file...] LIBS lib...)
# A library of every source in the given folders (relative to the current
# one).  New files are picked up on the next build.
function(okukipo_library name)
    cmake_parse_arguments(L "" "" "DIRS;EXCLUDE;LIBS" ${ARGN})
    set(sources)
    # Normalised paths ("app/./main.cpp" is "app/main.cpp"), so that
    # excluded files are found in the list.
    foreach(dir ${L_DIRS})
        get_filename_component(folder "${CMAKE_CURRENT_SOURCE_DIR}/${dir}" ABSOLUTE)
        file(GLOB found CONFIGURE_DEPENDS "${folder}/*.cpp" "${folder}/*.h" "${folder}/*.ui" "${folder}/*.qrc")
        list(APPEND sources ${found})
    endforeach()
    foreach(excluded ${L_EXCLUDE})
        get_filename_component(file "${CMAKE_CURRENT_SOURCE_DIR}/${excluded}" ABSOLUTE)
        list(REMOVE_ITEM sources "${file}")
    endforeach()
    list(FILTER sources INCLUDE REGEX "\\.(cpp|h|ui|qrc)$")
    set(compiled ${sources})
    list(FILTER compiled INCLUDE REGEX "\\.cpp$")
    if(compiled)
        add_library(${name} STATIC ${sources})
        target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}")
        target_link_libraries(${name} PUBLIC ${L_LIBS})
    else()
        # A folder with nothing to compile yet still provides its dependencies.
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE "${PROJECT_SOURCE_DIR}")
        target_link_libraries(${name} INTERFACE ${L_LIBS})
    endif()
endfunction()
