# Debian packages from the install rules: `cpack -G DEB` in the build folder.
#   libzel2      the shared library (its SONAME major), Qt's runtime by shlibdeps
#   libzel-dev   headers, CMake package, pkg-config file
#   zel-tools    zeltool, zelsim, the manual page, bash completion, the Wireshark dissector
#   python3-zel  the Python package
#   zel-station  zelstation, its systemd unit and /etc/zelstation/zelstation.conf
# The versions come from the project version, the one source of truth.
set(CPACK_PACKAGE_NAME "zel")
set(CPACK_PACKAGE_VENDOR "ZELlibrary developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "ZELlibrary developers <zel@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_GENERATOR "DEB")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools python)
if(ZEL_STATION_MQTT)
    list(APPEND CPACK_COMPONENTS_ALL station)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tools need the library of this build, not one of the system.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/src ${PROJECT_BINARY_DIR}/src/station)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION "libs")
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME "libzel${PROJECT_VERSION_MAJOR}")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION "libs")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "ZELlibrary: host library for modular measuring electronics over Ethernet")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME "libzel-dev")
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION "libdevel")
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "qt6-base-dev")
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_COMPONENT_DEV_DESCRIPTION "ZELlibrary: headers, CMake package and pkg-config file")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME "zel-tools")
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION "utils")
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "ZELlibrary: zeltool, the zelsim simulator and the Wireshark dissector")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME "python3-zel")
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION "python")
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE "all")
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3")
set(CPACK_COMPONENT_PYTHON_DEPENDS runtime)
set(CPACK_COMPONENT_PYTHON_DESCRIPTION "ZELlibrary: the Python package zel")

set(CPACK_DEBIAN_STATION_PACKAGE_NAME "zel-station")
set(CPACK_DEBIAN_STATION_PACKAGE_SECTION "utils")
set(CPACK_COMPONENT_STATION_DEPENDS runtime)
set(CPACK_COMPONENT_STATION_DESCRIPTION
    "ZELlibrary: zelstation, a measuring station's chain as a service published over MQTT")
set(CPACK_DEBIAN_STATION_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/cmake/debian/zel-station/conffiles
    ${PROJECT_SOURCE_DIR}/cmake/debian/zel-station/postinst
    ${PROJECT_SOURCE_DIR}/cmake/debian/zel-station/prerm
    ${PROJECT_SOURCE_DIR}/cmake/debian/zel-station/postrm)
set(CPACK_DEBIAN_STATION_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# The settings file is staged under the prefix and moved to /etc.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian/move_etc.cmake)

include(CPack)
