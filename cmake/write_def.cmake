# The export definitions of zel.dll, made from the list of C names the
# header declares (one per line) and the table of second names:
#   cmake -DNAMES=capi_names.txt -DALIASES=aliases.txt -DDEF=zel.def
#         -DREFERENCES=zel_references.c -P write_def.cmake
# writes
# - DEF: the module-definition file the DLL is linked with: every name
#   undecorated, a second name as "name=implementation";
# - REFERENCES: a C file that takes the address of every name, compiled for
#   the target so that its undefined symbols tell each name's decoration.
file(STRINGS "${NAMES}" names)
list(LENGTH names count)
if(count EQUAL 0)
    message(FATAL_ERROR "write_def: no C names in ${NAMES}")
endif()
file(READ "${ALIASES}" alias_text)
# The preprocessor may keep blanks around "=" (as the formatter writes it).
string(REGEX REPLACE "[ \t]*=[ \t]*" "=" alias_text "${alias_text}")
string(REGEX MATCHALL "[A-Za-z0-9_]+=[A-Za-z0-9_]+" pairs "${alias_text}")
foreach(pair IN LISTS pairs)
    string(REPLACE "=" ";" parts "${pair}")
    list(GET parts 0 alias)
    list(GET parts 1 target)
    set(target_of_${alias} ${target})
endforeach()
set(def "LIBRARY zel.dll\nEXPORTS\n")
set(refs "/* Generated: every C name of the interface, referenced once. */\n#include \"capi/zel_capi.h\"\nvoid* const zel_references[] = {\n")
foreach(name IN LISTS names)
    if(DEFINED target_of_${name})
        string(APPEND def "    ${name}=${target_of_${name}}\n")
    else()
        string(APPEND def "    ${name}\n")
    endif()
    string(APPEND refs "    (void*)${name},\n")
endforeach()
string(APPEND refs "};\n")
file(WRITE "${DEF}.tmp" "${def}")
file(RENAME "${DEF}.tmp" "${DEF}")
file(WRITE "${REFERENCES}.tmp" "${refs}")
file(RENAME "${REFERENCES}.tmp" "${REFERENCES}")
