# Shared compile settings for every VERava target.
add_library(verava_settings INTERFACE)
target_compile_options(verava_settings INTERFACE
    $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers>)
target_include_directories(verava_settings INTERFACE ${PROJECT_SOURCE_DIR}/src)

# The operating system's side of a folder lives in NAME_posix.cpp and NAME_windows.cpp behind
# one header, and tests of one system's behaviour in NAME_posix_test.cpp and
# NAME_windows_test.cpp; only the files of the system built for are kept in `var`.
function(verava_platform_sources var)
    if(WIN32)
        list(FILTER ${var} EXCLUDE REGEX "_posix(_test)?\\.cpp$")
    else()
        list(FILTER ${var} EXCLUDE REGEX "_windows(_test)?\\.cpp$")
    endif()
    set(${var} ${${var}} PARENT_SCOPE)
endfunction()

# verava_add_subsystem(NAME DEPS...): one static library per src/ folder, built from every
# .cpp in it (of the system built for). DEPS are the subsystems below it; nothing else may be
# linked but the system's own libraries.
function(verava_add_subsystem name)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    verava_platform_sources(sources)
    if(sources)
        add_library(verava_${name} STATIC ${sources})
        target_link_libraries(verava_${name} PUBLIC verava_settings ${ARGN})
    else()
        add_library(verava_${name} INTERFACE)
        target_link_libraries(verava_${name} INTERFACE verava_settings ${ARGN})
    endif()
endfunction()
