# The import library of zel.dll: the decorated names a C or C++ host's
# __stdcall calls refer to (ZelModuleCreate@0), each bound to the
# undecorated export of the DLL (dlltool --kill-at), and the exported
# classes' symbols as the linker listed them (EXPORTS).
#   cmake -DNM=... -DDLLTOOL=... -DREFERENCES_OBJECT=... -DEXPORTS=zel-exports.def
#         -DDEF=zel-decorated.def -DIMPLIB=libzel.dll.a -P write_implib.cmake
execute_process(COMMAND "${NM}" -u "${REFERENCES_OBJECT}" OUTPUT_VARIABLE undefined
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "write_implib: ${NM} failed on ${REFERENCES_OBJECT}")
endif()
string(REGEX MATCHALL "Zel[A-Za-z0-9_]*(@[0-9]+)?" symbols "${undefined}")
list(REMOVE_DUPLICATES symbols)
set(def "LIBRARY zel.dll\nEXPORTS\n")
foreach(symbol IN LISTS symbols)
    string(APPEND def "    ${symbol}\n")
endforeach()
file(STRINGS "${EXPORTS}" listed)
foreach(line IN LISTS listed)
    if(line MATCHES "^[ \t]+(_Z[A-Za-z0-9_]+)")
        set(symbol ${CMAKE_MATCH_1})
        if(line MATCHES "DATA[ \t]*$")
            string(APPEND symbol " DATA")
        endif()
        string(APPEND def "    ${symbol}\n")
    endif()
endforeach()
file(WRITE "${DEF}" "${def}")
execute_process(COMMAND "${DLLTOOL}" --kill-at -d "${DEF}" -D zel.dll -l "${IMPLIB}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "write_implib: ${DLLTOOL} failed")
endif()
