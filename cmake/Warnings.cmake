# Shared compile settings for every VERava target.
add_library(verava_settings INTERFACE)
target_compile_options(verava_settings INTERFACE
    $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers>)
target_include_directories(verava_settings INTERFACE ${PROJECT_SOURCE_DIR}/src)

# verava_add_subsystem(NAME DEPS...): one static library per src/ folder, built from every
# .cpp in it. DEPS are the subsystems below it; nothing else may be linked.
function(verava_add_subsystem name)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(sources)
        add_library(verava_${name} STATIC ${sources})
        target_link_libraries(verava_${name} PUBLIC verava_settings ${ARGN})
    else()
        add_library(verava_${name} INTERFACE)
        target_link_libraries(verava_${name} INTERFACE verava_settings ${ARGN})
    endif()
endfunction()
