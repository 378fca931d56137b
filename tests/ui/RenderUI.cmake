# Runs `tamsel --render-ui` the way a script would: no display, a fresh output
# folder. Called with -DTAMSEL=<executable> -DWORK=<folder> -DMODE=full|blocked.

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(ENV{HOME} ${WORK})
unset(ENV{DISPLAY})
unset(ENV{WAYLAND_DISPLAY})
unset(ENV{QT_QPA_PLATFORM})

if(MODE STREQUAL "blocked")
    # A path below a regular file cannot be a folder.
    file(WRITE ${WORK}/plain-file "")
    execute_process(COMMAND ${TAMSEL} --render-ui ${WORK}/plain-file/out
                    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT result EQUAL 1)
        message(FATAL_ERROR "exit code ${result}, expected 1")
    endif()
    if(NOT err MATCHES "^出力先を作れません: .+\n$")
        message(FATAL_ERROR "unexpected error output: ${err}")
    endif()
    if(NOT out STREQUAL "")
        message(FATAL_ERROR "nothing should be printed, got: ${out}")
    endif()
    file(GLOB written ${WORK}/*.png)
    if(written)
        message(FATAL_ERROR "files were written: ${written}")
    endif()
    return()
endif()

# --render-ui wins over --prompt-lab-preview; without a folder it writes here.
# Nothing may stay behind in the temporary folder.
file(MAKE_DIRECTORY ${WORK}/tmp)
set(ENV{TMPDIR} ${WORK}/tmp)
execute_process(COMMAND ${TAMSEL} --prompt-lab-preview 2 --render-ui
                WORKING_DIRECTORY ${WORK}
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "exit code ${result}: ${err}")
endif()

set(expected "")
foreach(appearance light dark)
    foreach(language en ja)
        foreach(state list expanded settings setup secureinput)
            string(APPEND expected "${state}-${language}-${appearance}.png\n")
        endforeach()
    endforeach()
endforeach()
foreach(appearance light dark)
    foreach(language en ja)
        foreach(variant "" "-nomodel")
            string(APPEND expected "lab${variant}-${language}-${appearance}.png\n")
        endforeach()
    endforeach()
endforeach()
string(APPEND expected "menubar-active.png\nmenubar-paused.png\n")
if(NOT out STREQUAL expected)
    message(FATAL_ERROR "names printed:\n${out}\nexpected:\n${expected}")
endif()

file(GLOB leftovers ${WORK}/tmp/*)
# Qt's own stand-in for a missing XDG_RUNTIME_DIR is not ours to clean.
list(FILTER leftovers EXCLUDE REGEX "/runtime-[^/]*$")
if(leftovers)
    message(FATAL_ERROR "left in the temporary folder: ${leftovers}")
endif()

file(GLOB written RELATIVE ${WORK} ${WORK}/*.png)
list(LENGTH written count)
if(NOT count EQUAL 30)
    message(FATAL_ERROR "${count} files written, expected 30")
endif()
