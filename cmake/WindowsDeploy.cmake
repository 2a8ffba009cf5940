# Windows: the executable's entry point, icon and version resource, and the
# runnable folder (install rules) and its ZIP (CPack). Included by the
# top-level CMakeLists.txt for Windows builds, after the program's targets and
# before the tests.

# A GUI program (no console window) entered through Qt's WinMain, which hands
# main() the command line in the ANSI code page. With MinGW, Qt's WinMain calls
# main() under the name qMain, which Qt's headers give it on this define; and
# the linker must take WinMain from Qt's library before it meets MinGW's own
# start-up code, which asks for it.
if(MINGW)
    target_compile_definitions(vontra-meters PRIVATE QT_NEEDS_QMAIN)
    target_link_options(vontra-meters PRIVATE -Wl,-u,WinMain)
endif()

# The executable's icon and version resource. The version is the project's.
enable_language(RC)
set(VM_RC_PRODUCT "Vontra Meters")
set(VM_RC_COMPANY "Orvendel")
set(VM_RC_ICON ${PROJECT_SOURCE_DIR}/resources/ico/BelvaneIcon256x256Border.ico)
string(REPLACE "." "," VM_RC_VERSION_COMMAS "${PROJECT_VERSION}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/vontra-meters.rc.in
    ${PROJECT_BINARY_DIR}/vontra-meters.rc @ONLY)
target_sources(vontra-meters PRIVATE ${PROJECT_BINARY_DIR}/vontra-meters.rc)
set_property(SOURCE ${PROJECT_BINARY_DIR}/vontra-meters.rc APPEND PROPERTY
    OBJECT_DEPENDS ${VM_RC_ICON})

# The runnable folder: the program, the console-link library (the stand-in or
# the maker's), the simulator, the Qt DLLs and the plugins the program loads
# (the Windows platform, the native style, .ico for the window icon), and the
# compiler's runtime DLLs. Qt finds plugins in the folders beside the program.
install(TARGETS vontra-meters vontra-console-sim RUNTIME DESTINATION .)
if(NOT VM_VONTRA_LIBRARY OR VM_VONTRA_DLL)
    install(FILES $<TARGET_FILE:vontra> DESTINATION .)
endif()
foreach(module Core Gui Widgets Network)
    install(FILES $<TARGET_FILE:Qt5::${module}> DESTINATION .)
endforeach()
install(FILES $<TARGET_FILE:Qt5::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt5::QWindowsVistaStylePlugin> DESTINATION styles)
install(FILES $<TARGET_FILE:Qt5::QICOPlugin> DESTINATION imageformats)

if(MINGW)
    foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
            OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
            message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
        endif()
        get_filename_component(path "${path}" REALPATH)
        install(FILES ${path} DESTINATION .)
        # Debian ships them with debugging information (libstdc++ alone 23 MB):
        # stripped like the program when the installation strips.
        install(CODE "if(CMAKE_INSTALL_DO_STRIP)
            execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${dll}\")
        endif()")
    endforeach()
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME VontraMeters)
set(CPACK_PACKAGE_VENDOR "${VM_RC_COMPANY}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_FILE_NAME "VontraMeters-${PROJECT_VERSION}-win64")
set(CPACK_STRIP_FILES TRUE)
include(CPack)
