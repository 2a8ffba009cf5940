# The Debian packages, made by CPack from the install components
# (cmake/Install.cmake):
#   vontra-meters           the program, the console simulator, the console-link
#                           library, desktop integration, manual pages, docs
#   vontra-meters-designer  the Qt Designer plugin, for developers
# Dependencies are worked out from the binaries by dpkg-shlibdeps. Debian
# packages install under /usr: configure with -DCMAKE_INSTALL_PREFIX=/usr
# (tools/package.sh does).
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    message(STATUS "Debian package: not configured (needs -DCMAKE_INSTALL_PREFIX=/usr)")
    return()
endif()

# The newest entry of the package's history and of the AppStream releases
# must be this version.
file(STRINGS ${VM_PACKAGING_DIR}/debian/changelog newest LIMIT_COUNT 1)
if(NOT newest MATCHES "\\(${PROJECT_VERSION}\\)")
    message(FATAL_ERROR "packaging/debian/changelog: the newest entry is not ${PROJECT_VERSION}")
endif()
file(STRINGS ${VM_PACKAGING_DIR}/${VM_APP_ID}.metainfo.xml newest REGEX "<release " LIMIT_COUNT 1)
if(NOT newest MATCHES "version=\"${PROJECT_VERSION}\"")
    message(FATAL_ERROR "packaging/${VM_APP_ID}.metainfo.xml: the newest release is not ${PROJECT_VERSION}")
endif()

# Every package carries the copyright file and the history in its own doc folder.
vm_gzip(${VM_PACKAGING_DIR}/debian/changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
function(vm_debian_docs component package)
    install(FILES ${VM_PACKAGING_DIR}/debian/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endfunction()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vontra-meters)
set(CPACK_PACKAGE_VENDOR Orvendel)
# All four parts: CPack would take three by default.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vontra Meters maintainers <vontra-meters@orvendel.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE vontra-meters)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://orvendel.example/vontra-meters/)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The console-link library is the package's own (in the staging tree).
string(REGEX REPLACE "^/" "" private_libdir ${VM_PRIVATE_LIBDIR_FULL})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${private_libdir})

# What the packages hold, to build without the rest (tools/package.sh).
add_custom_target(vm_package_contents DEPENDS vontra-meters vontra-console-sim vontra)

set(CPACK_COMPONENTS_ALL meters)
vm_debian_docs(meters vontra-meters)
set(CPACK_DEBIAN_METERS_PACKAGE_NAME vontra-meters)
set(CPACK_DEBIAN_METERS_PACKAGE_SECTION sound)
# The digital clock's face; a font is not found from the binaries.
set(CPACK_DEBIAN_METERS_PACKAGE_RECOMMENDS fonts-dejavu-core)
set(CPACK_DEBIAN_METERS_DESCRIPTION "studio display for a Vontra mixing console
Vontra Meters is the studio display for the operator of a broadcast studio
with a Vontra mixing console. One window, scalable to any size, shows two
stereo peak programme meters (Master and CRM), the eight source modules with
their source types, seven signal lamps with a microphone-on timer, an analog
studio clock and a digital clock with the date. Clicks on a module key or on
the non-stop lamp send commands to the console.

The package also holds the console simulator vontra-console-sim, for running
the display without a studio, and the stand-in console-link library that
talks to the console over UDP.")

if(TARGET vontra-meters-designer)
    list(APPEND CPACK_COMPONENTS_ALL designer)
    add_dependencies(vm_package_contents vontra-meters-designer)
    vm_debian_docs(designer vontra-meters-designer)
    set(CPACK_DEBIAN_DESIGNER_PACKAGE_NAME vontra-meters-designer)
    set(CPACK_DEBIAN_DESIGNER_PACKAGE_SECTION devel)
    set(CPACK_DEBIAN_DESIGNER_PACKAGE_ENHANCES qttools5-dev-tools)
    set(CPACK_DEBIAN_DESIGNER_DESCRIPTION "Qt Designer plugin for the Vontra Meters display widgets
Shows the peak programme meter, the analog studio clock and the digital clock
of Vontra Meters in Qt Designer's widget box, drawn live and with their
properties, so that forms using them open with the real widgets.")
endif()

include(CPack)
