# The console maker's own console-link library in place of the stand-in:
#   -DVM_VONTRA_LIBRARY=<import library (vontra.lib, libvontra.dll.a) or, with
#    MinGW, vontra.dll itself>
# The program links it under the target name vontra, as it does the stand-in.
# The DLL is looked for beside the import library (or in ../bin) so that the
# runnable folder gets it; failing that, it has to be copied there by hand.
if(NOT EXISTS "${VM_VONTRA_LIBRARY}")
    message(FATAL_ERROR "VM_VONTRA_LIBRARY: no such file: ${VM_VONTRA_LIBRARY}")
endif()
get_filename_component(vm_maker_dir "${VM_VONTRA_LIBRARY}" DIRECTORY)
if(NOT WIN32 OR VM_VONTRA_LIBRARY MATCHES "\\.[dD][lL][lL]$")
    # A DLL (MinGW links it directly) or a shared object is its own import library.
    set(VM_VONTRA_DLL "${VM_VONTRA_LIBRARY}" CACHE FILEPATH "The maker's vontra.dll")
else()
    find_file(VM_VONTRA_DLL vontra.dll PATHS ${vm_maker_dir} ${vm_maker_dir}/../bin
        NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
endif()

add_library(vontra SHARED IMPORTED GLOBAL)
set_target_properties(vontra PROPERTIES
    IMPORTED_IMPLIB "${VM_VONTRA_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${PROJECT_SOURCE_DIR}/src/link")
if(VM_VONTRA_DLL)
    set_target_properties(vontra PROPERTIES IMPORTED_LOCATION "${VM_VONTRA_DLL}")
    message(STATUS "Console-link library: the maker's, ${VM_VONTRA_DLL}")
else()
    message(WARNING "No vontra.dll found beside ${VM_VONTRA_LIBRARY}: put the maker's "
                    "vontra.dll beside vontra-meters.exe by hand")
endif()
