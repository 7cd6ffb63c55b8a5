# The architectures of the macOS build: universal (arm64 and x86_64) when the Qt at hand carries both
# slices, otherwise the one it has, since every binary in the bundle must run against that Qt.
# Included by the top-level CMakeLists.txt after Qt is found and before any target is made; a
# CMAKE_OSX_ARCHITECTURES given on the command line wins.
if(CMAKE_OSX_ARCHITECTURES)
    return()
endif()
set(qtcore "")
foreach(property IN ITEMS IMPORTED_LOCATION_RELEASE IMPORTED_LOCATION_RELWITHDEBINFO IMPORTED_LOCATION)
    get_target_property(qtcore Qt6::Core ${property})
    if(qtcore)
        break()
    endif()
endforeach()
find_program(TOLVANE_LIPO lipo)
if(NOT qtcore OR NOT TOLVANE_LIPO)
    message(STATUS "Architectures: the compiler's default (Qt's slices unknown)")
    return()
endif()
execute_process(COMMAND ${TOLVANE_LIPO} -archs ${qtcore} OUTPUT_VARIABLE slices OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE result)
separate_arguments(slices UNIX_COMMAND "${slices}")
if(result EQUAL 0 AND "arm64" IN_LIST slices AND "x86_64" IN_LIST slices)
    # A plain variable, decided afresh at each configure: a later Qt with one slice is followed.
    set(CMAKE_OSX_ARCHITECTURES "arm64;x86_64")
    message(STATUS "Architectures: arm64 and x86_64 (universal), as Qt has both")
else()
    message(STATUS "Architectures: ${slices} only, the slices Qt has")
endif()
