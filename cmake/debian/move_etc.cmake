# Run by CPack after it staged the files: the packages install under /usr,
# but a settings file belongs in /etc, so usr/etc of each staged component
# moves to etc.
file(GLOB staged_etc LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/usr/etc")
foreach(dir IN LISTS staged_etc)
    if(IS_DIRECTORY "${dir}")
        get_filename_component(usr "${dir}" DIRECTORY)
        get_filename_component(root "${usr}" DIRECTORY)
        file(RENAME "${dir}" "${root}/etc")
    endif()
endforeach()
