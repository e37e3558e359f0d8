# Run as a post-build step: cmake -DOBJDUMP=<objdump> -DIMAGE=<exe> -P CheckImports.cmake
# Fails when the import table of the program names a DLL that is not one of Windows' known
# DLLs. Windows maps a known DLL from the system folder whatever lies beside the program; any
# other DLL named in the import table would be searched for beside the program before the
# program's first instruction runs, so such DLLs must be delay-loaded (DelayLoad.cmake) and
# reach the process only after the search has been narrowed to the system folder.
set(TW_KNOWN_DLLS
    advapi32.dll combase.dll comdlg32.dll gdi32.dll imm32.dll kernel32.dll msvcrt.dll ntdll.dll ole32.dll
    oleaut32.dll psapi.dll rpcrt4.dll sechost.dll setupapi.dll shell32.dll shlwapi.dll user32.dll ws2_32.dll)

if(NOT OBJDUMP OR NOT IMAGE)
    message(FATAL_ERROR "CheckImports.cmake: OBJDUMP and IMAGE must be given")
endif()
execute_process(COMMAND ${OBJDUMP} -p ${IMAGE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "CheckImports.cmake: cannot read the headers of ${IMAGE}")
endif()
# Only the ordinary import table: it ends where the delay-import table or the next table of
# the dump begins.
string(FIND "${dump}" "The Import Tables" start)
if(start EQUAL -1)
    message(FATAL_ERROR "CheckImports.cmake: ${IMAGE} has no import table")
endif()
string(SUBSTRING "${dump}" ${start} -1 imports)
foreach(next "The Delay Import Tables" "The Export Tables" "The Function Table" "PE File Base Relocations"
             "There is a debug directory")
    string(FIND "${imports}" "${next}" stop)
    if(NOT stop EQUAL -1)
        string(SUBSTRING "${imports}" 0 ${stop} imports)
    endif()
endforeach()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" names "${imports}")
set(outside)
set(seen)
foreach(line ${names})
    string(REGEX REPLACE "^DLL Name: *" "" dll "${line}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" dll)
    list(APPEND seen ${dll})
    list(FIND TW_KNOWN_DLLS ${dll} known)
    if(known EQUAL -1)
        list(APPEND outside ${dll})
    endif()
endforeach()
if(NOT seen)
    message(FATAL_ERROR "CheckImports.cmake: no DLL found in the import table of ${IMAGE}")
endif()
if(outside)
    list(JOIN outside ", " outside)
    message(FATAL_ERROR "${IMAGE} imports DLLs that are not Windows known DLLs: ${outside}. "
                        "Add them to TW_DELAY_LOADED.")
endif()
