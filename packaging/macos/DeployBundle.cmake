# Run at install time (packaging/macos/CMakeLists.txt includes it from install(CODE)): copies Qt into the
# installed bundle with macdeployqt, keeps its output in the deploy log, and signs what changed.
#
# Expects: TOLVANE_MACDEPLOYQT (the program), TOLVANE_BUNDLE (the installed Tolvane.app),
# TOLVANE_DEPLOY_LIBPATHS (folders that hold Qt's and Homebrew's libraries), TOLVANE_DEPLOY_LOG (where
# the output goes) and TOLVANE_DEPLOY_TOOL (the uninstall tool beside the bundle; empty without one).
#
# macdeployqt reports a library it cannot find with an "ERROR:" line and still exits 0, leaving a
# bundle that stops at launch with "Library not loaded". Any such line fails the install here.

message(STATUS "Deploying Qt into ${TOLVANE_BUNDLE} (log: ${TOLVANE_DEPLOY_LOG})")
set(arguments "${TOLVANE_BUNDLE}" -always-overwrite -verbose=1)
foreach(folder IN LISTS TOLVANE_DEPLOY_LIBPATHS)
    list(APPEND arguments "-libpath=${folder}")
endforeach()
execute_process(COMMAND "${TOLVANE_MACDEPLOYQT}" ${arguments}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
list(JOIN arguments " " shown)
file(WRITE "${TOLVANE_DEPLOY_LOG}" "${TOLVANE_MACDEPLOYQT} ${shown}\n${output}")
string(REGEX MATCHALL "(^|\n)ERROR:[^\n]*" errors "${output}")
if(NOT result EQUAL 0 OR errors)
    string(REPLACE "\n" "" errors "${errors}")
    list(JOIN errors "\n" errors)
    message(FATAL_ERROR "macdeployqt did not deploy Qt into ${TOLVANE_BUNDLE} (exit status ${result}):\n"
                        "${errors}\nThe whole output is in ${TOLVANE_DEPLOY_LOG}.")
endif()

# The changed binaries no longer match their signatures, and Apple silicon runs no unsigned code: the
# bundle and the tool beside it are signed again, ad hoc.
execute_process(COMMAND codesign --force --deep --sign - "${TOLVANE_BUNDLE}" COMMAND_ERROR_IS_FATAL ANY)
if(TOLVANE_DEPLOY_TOOL)
    execute_process(COMMAND codesign --force --sign - "${TOLVANE_DEPLOY_TOOL}" COMMAND_ERROR_IS_FATAL ANY)
endif()
