# tw_check_known_imports(<target>): after each link, the program's import table may name only
# Windows' known DLLs (CheckImports.cmake); the build fails otherwise. Call it in the folder
# that defines the target. MSVC builds get /DEPENDENTLOADFLAG:0x800 instead.
if(NOT MSVC)
    find_program(TW_OBJDUMP NAMES ${TOOLCHAIN_PREFIX}-objdump objdump REQUIRED)
endif()

function(tw_check_known_imports target)
    if(MSVC)
        # The loader searches only the system folder for the program's own dependencies.
        target_link_options(${target} PRIVATE /DEPENDENTLOADFLAG:0x800)
        return()
    endif()
    add_custom_command(TARGET ${target} POST_BUILD
                       COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${TW_OBJDUMP} -DIMAGE=$<TARGET_FILE:${target}>
                               -P ${PROJECT_SOURCE_DIR}/cmake/CheckImports.cmake
                       COMMENT "Checking that ${target} imports only Windows known DLLs"
                       VERBATIM)
endfunction()
