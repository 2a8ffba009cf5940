# Installation on Linux, in the GNU directories. Component "meters": the
# program with its console-link library, the console simulator, the desktop
# entry and icons, the AppStream metadata, the manual pages and the protocol
# and simulator docs. Component "designer": the Qt Designer plugin.
include(GNUInstallDirs)

set(VM_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(VM_APP_ID example.orvendel.VontraMeters)
set(VM_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/vontra-meters)
set(VM_DOCDIR_FULL ${CMAKE_INSTALL_FULL_DATAROOTDIR}/doc/vontra-meters)

# The console-link library goes into a private folder that the program
# searches by its RUNPATH: it starts without LD_LIBRARY_PATH, and the maker's
# library can be put in place of the stand-in under the same name.
set(VM_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/vontra-meters)
set(VM_PRIVATE_LIBDIR_FULL ${CMAKE_INSTALL_FULL_LIBDIR}/vontra-meters)
set_target_properties(vontra-meters PROPERTIES INSTALL_RPATH ${VM_PRIVATE_LIBDIR_FULL})
install(TARGETS vontra-meters vontra-console-sim
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT meters)
install(TARGETS vontra
        LIBRARY DESTINATION ${VM_PRIVATE_LIBDIR} COMPONENT meters NAMELINK_SKIP)

install(FILES ${VM_PACKAGING_DIR}/${VM_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications COMPONENT meters)
install(FILES ${VM_PACKAGING_DIR}/${VM_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo COMPONENT meters)
# Drawn by tools/gen-resources (docs/resources.md).
install(DIRECTORY ${VM_PACKAGING_DIR}/icons/hicolor
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons COMPONENT meters)

# Compresses a file as Debian wants manual pages and longer docs: gzip -9n,
# without name or time stamp, so that every run gives the same bytes.
function(vm_gzip source output)
    get_filename_component(folder ${output} DIRECTORY)
    file(MAKE_DIRECTORY ${folder})
    execute_process(COMMAND gzip -9nc ${source} OUTPUT_FILE ${output} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "gzip ${source} failed")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()

foreach(page vontra-meters vontra-console-sim)
    configure_file(${VM_PACKAGING_DIR}/man/${page}.1.in ${CMAKE_BINARY_DIR}/packaging/${page}.1 @ONLY)
    vm_gzip(${CMAKE_BINARY_DIR}/packaging/${page}.1 ${CMAKE_BINARY_DIR}/packaging/${page}.1.gz)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/${page}.1.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT meters)
endforeach()

foreach(doc protocol simulator)
    vm_gzip(${PROJECT_SOURCE_DIR}/docs/${doc}.md ${CMAKE_BINARY_DIR}/packaging/${doc}.md.gz)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/${doc}.md.gz DESTINATION ${VM_DOCDIR} COMPONENT meters)
endforeach()

if(TARGET vontra-meters-designer)
    # Qt's own plugin folder when it lies under the install prefix (so for a
    # package), else the same layout under the prefix (then QT_PLUGIN_PATH
    # must name it).
    if(NOT VM_DESIGNER_PLUGIN_DIR)
        set(VM_DESIGNER_PLUGIN_DIR ${CMAKE_INSTALL_LIBDIR}/qt5/plugins/designer)
        get_target_property(qmake Qt5::qmake IMPORTED_LOCATION)
        execute_process(COMMAND ${qmake} -query QT_INSTALL_PLUGINS
                        OUTPUT_VARIABLE qt_plugins OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(IS_ABSOLUTE "${qt_plugins}")
            file(RELATIVE_PATH relative ${CMAKE_INSTALL_PREFIX} ${qt_plugins})
            if(NOT relative MATCHES "^\\.\\./")
                set(VM_DESIGNER_PLUGIN_DIR ${relative}/designer)
            endif()
        endif()
    endif()
    install(TARGETS vontra-meters-designer
            LIBRARY DESTINATION ${VM_DESIGNER_PLUGIN_DIR} COMPONENT designer)
endif()
