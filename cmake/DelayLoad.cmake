# Delay-loaded system DLLs: a program linked with tw_delay_load(<target> <lib>...) loads each
# of those DLLs when it first calls into it instead of at process start. A run that ends
# early (no product to update, a second copy running) then never loads the Windows Installer,
# networking and crypto libraries at all, and every run starts sooner.
#
# MSVC links with /DELAYLOAD. With MinGW-w64 the program's "-l<lib>" is pointed at a library
# made here from the toolchain's own import library:
#   GCC and GNU ld: a delay-import library (dlltool --output-delaylib), found first because
#     its folder comes first on the program's library path;
#   clang and lld: a short import library (llvm-dlltool), found the same way, with
#     --delayload=<dll> telling lld to delay it (lld delays only short imports).
# The loader's helper (__delayLoadHelper2) comes from the MinGW-w64 runtime.

set(TW_DELAY_DIR ${CMAKE_BINARY_DIR}/delayload)

if(NOT MSVC)
    find_program(TW_GNU_DLLTOOL NAMES ${TOOLCHAIN_PREFIX}-dlltool dlltool REQUIRED)
    find_program(TW_GNU_NM NAMES ${TOOLCHAIN_PREFIX}-nm nm REQUIRED)
endif()
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    find_program(TW_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 llvm-dlltool-15 llvm-dlltool-16 REQUIRED)
endif()

# Writes <dir>/lib<lib>.a for one system library and sets <dll_var> to the DLL's name.
function(tw_make_delay_library lib dll_var)
    find_library(tw_import_${lib} NAMES lib${lib}.a ${lib} NO_CACHE REQUIRED)
    set(import ${tw_import_${lib}})
    execute_process(COMMAND ${TW_GNU_DLLTOOL} --identify ${import}
                    OUTPUT_VARIABLE dll OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
    string(REGEX REPLACE "\n.*" "" dll "${dll}")
    if(NOT rc EQUAL 0 OR dll STREQUAL "")
        message(FATAL_ERROR "delay loading: cannot tell which DLL ${import} imports from")
    endif()
    execute_process(COMMAND ${TW_GNU_NM} ${import} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "delay loading: cannot list the symbols of ${import}")
    endif()
    # Every function the import library offers: its "__imp_" symbols.
    string(REGEX MATCHALL "__imp_[A-Za-z0-9_@?$]+" imports "${symbols}")
    list(REMOVE_DUPLICATES imports)
    set(def "LIBRARY ${dll}\nEXPORTS\n")
    foreach(symbol ${imports})
        string(REGEX REPLACE "^__imp_" "" name "${symbol}")
        string(APPEND def "${name}\n")
    endforeach()
    file(MAKE_DIRECTORY ${TW_DELAY_DIR})
    file(WRITE ${TW_DELAY_DIR}/${lib}.def "${def}")
    file(REMOVE ${TW_DELAY_DIR}/lib${lib}.a)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        execute_process(COMMAND ${TW_LLVM_DLLTOOL} -m i386:x86-64 -D ${dll} -d ${TW_DELAY_DIR}/${lib}.def
                                -l ${TW_DELAY_DIR}/lib${lib}.a RESULT_VARIABLE rc)
    else()
        execute_process(COMMAND ${TW_GNU_DLLTOOL} --input-def ${TW_DELAY_DIR}/${lib}.def --dllname ${dll}
                                --output-delaylib ${TW_DELAY_DIR}/lib${lib}.a RESULT_VARIABLE rc)
    endif()
    if(NOT rc EQUAL 0 OR NOT EXISTS ${TW_DELAY_DIR}/lib${lib}.a)
        message(FATAL_ERROR "delay loading: cannot make the library for ${dll}")
    endif()
    set(${dll_var} ${dll} PARENT_SCOPE)
endfunction()

function(tw_delay_load target)
    if(MSVC)
        foreach(lib ${ARGN})
            target_link_options(${target} PRIVATE "/DELAYLOAD:${lib}.dll")
        endforeach()
        target_link_libraries(${target} PRIVATE delayimp)
        return()
    endif()
    foreach(lib ${ARGN})
        get_property(dll GLOBAL PROPERTY tw_delay_dll_${lib})
        if(NOT dll)
            tw_make_delay_library(${lib} dll)
            set_property(GLOBAL PROPERTY tw_delay_dll_${lib} ${dll})
        endif()
        if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
            target_link_options(${target} PRIVATE "LINKER:--delayload=${dll}")
        endif()
    endforeach()
    target_link_directories(${target} BEFORE PRIVATE ${TW_DELAY_DIR})
endfunction()
