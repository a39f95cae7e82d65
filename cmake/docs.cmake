# The API reference from the public headers' comments (target `docs`, part of
# the build; HTML in build/docs/html, installed with the development files).
# Doxygen fails on any warning, an undocumented public name among them, and
# so does the build; the test ApiReferenceHasNoWarnings runs it again.
find_package(Doxygen QUIET)
if(CMAKE_CROSSCOMPILING)
    return()
endif()
if(NOT DOXYGEN_FOUND)
    message(STATUS "doxygen not found: no API reference (scripts/setup.sh installs it)")
    return()
endif()
set(ZEL_DOCS_OUTPUT ${PROJECT_BINARY_DIR}/docs)
# Each path quoted, so a checkout under a folder with blanks still works.
# The README is the main page; the subject files under docs/ and the changelog
# are pages of their own.
file(GLOB ZEL_DOCS_PAGES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
list(APPEND ZEL_DOCS_PAGES ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
set(ZEL_DOCS_INPUT ${PROJECT_SOURCE_DIR}/README.md ${ZEL_DOCS_PAGES} ${ZEL_DOCS_HEADERS})
list(TRANSFORM ZEL_DOCS_INPUT PREPEND "\"")
list(TRANSFORM ZEL_DOCS_INPUT APPEND "\"")
list(JOIN ZEL_DOCS_INPUT " " ZEL_DOCS_INPUT)
configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${ZEL_DOCS_OUTPUT}/Doxyfile @ONLY)
add_custom_command(OUTPUT ${ZEL_DOCS_OUTPUT}/html/index.html
    COMMAND Doxygen::doxygen ${ZEL_DOCS_OUTPUT}/Doxyfile
    WORKING_DIRECTORY ${ZEL_DOCS_OUTPUT}
    DEPENDS ${ZEL_DOCS_HEADERS} ${PROJECT_SOURCE_DIR}/README.md ${ZEL_DOCS_PAGES}
    COMMENT "API reference in ${ZEL_DOCS_OUTPUT}/html"
    VERBATIM)
add_custom_target(docs ALL DEPENDS ${ZEL_DOCS_OUTPUT}/html/index.html)
install(DIRECTORY ${ZEL_DOCS_OUTPUT}/html
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libzel-dev COMPONENT dev)
set(ZEL_DOXYFILE ${ZEL_DOCS_OUTPUT}/Doxyfile PARENT_SCOPE)
