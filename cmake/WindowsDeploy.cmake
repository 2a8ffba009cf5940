# Windows: the executable's entry point, icon and version resource, the
# runnable folder (install rules) and its ZIP (CPack) and, for builds made on
# Linux, Wine as the tests' runner. Included by the top-level CMakeLists.txt for Windows builds,
# after the program's targets and before the tests.

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
if(NOT VM_VONTRA_LIBRARY)
    install(TARGETS vontra RUNTIME DESTINATION .) # not its import library
elseif(VM_VONTRA_DLL)
    install(FILES ${VM_VONTRA_DLL} DESTINATION .)
endif()
foreach(module Core Gui Widgets Network)
    install(FILES $<TARGET_FILE:Qt5::${module}> DESTINATION .)
endforeach()
install(FILES $<TARGET_FILE:Qt5::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt5::QWindowsVistaStylePlugin> DESTINATION styles)
install(FILES $<TARGET_FILE:Qt5::QICOPlugin> DESTINATION imageformats)

set(VM_RUNTIME_DLL_DIRS "")
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
        get_filename_component(dir "${path}" DIRECTORY)
        list(APPEND VM_RUNTIME_DLL_DIRS ${dir})
    endforeach()
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME VontraMeters)
set(CPACK_PACKAGE_VENDOR "${VM_RC_COMPANY}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_FILE_NAME "VontraMeters-${PROJECT_VERSION}-win64")
set(CPACK_STRIP_FILES TRUE)
include(CPack)

# Built on Linux: CTest runs the Windows test programs under Wine, through a
# script that sets up the build's own Wine prefix and the DLL search path.
if(CMAKE_HOST_UNIX AND BUILD_TESTING)
    find_program(VM_WINE wine)
    if(NOT VM_WINE)
        message(FATAL_ERROR "Wine is needed to run the Windows tests (apt-get install wine)")
    endif()
    get_target_property(qtcore Qt5::Core LOCATION)
    get_filename_component(qtbin "${qtcore}" DIRECTORY)
    # Wine's search path is a list of Windows paths; Wine's drive Z: is /.
    set(VM_WINEPATH "")
    foreach(dir ${qtbin} ${VM_RUNTIME_DLL_DIRS})
        string(REPLACE "/" "\\" dir "Z:${dir}")
        list(APPEND VM_WINEPATH "${dir}")
    endforeach()
    list(REMOVE_DUPLICATES VM_WINEPATH)
    # Qt's offscreen platform on Windows reads fonts from a folder, not from
    # the system: the same DejaVu faces the Linux tests draw with.
    find_path(VM_TEST_FONT_DIR DejaVuSans.ttf PATHS /usr/share/fonts/truetype/dejavu
        NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(NOT VM_TEST_FONT_DIR)
        message(FATAL_ERROR "The tests need the DejaVu fonts (apt-get install fonts-dejavu-core)")
    endif()
    string(REPLACE "/" "\\" VM_WINE_FONT_DIR "Z:${VM_TEST_FONT_DIR}")
    set(VM_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in
        ${PROJECT_BINARY_DIR}/CMakeFiles/wine-run.sh @ONLY)
    file(COPY ${PROJECT_BINARY_DIR}/CMakeFiles/wine-run.sh DESTINATION ${PROJECT_BINARY_DIR}
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
        WORLD_READ WORLD_EXECUTE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_BINARY_DIR}/wine-run.sh)
endif()
