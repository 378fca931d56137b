# The answers `tamsel` gives about itself, as a shell script would see them:
# exit code, standard output and standard error, with no display at all.
# Called with -DTAMSEL=<executable> -DHOME=<folder> -DVERSION=<x.y.z>.

set(ENV{HOME} ${HOME})
unset(ENV{DISPLAY})
unset(ENV{WAYLAND_DISPLAY})

function(run_tamsel)
    execute_process(COMMAND ${TAMSEL} ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out
                    ERROR_VARIABLE err)
    set(result "${result}" PARENT_SCOPE)
    set(out "${out}" PARENT_SCOPE)
    set(err "${err}" PARENT_SCOPE)
endfunction()

function(fail what)
    message(FATAL_ERROR "${what}\nexit: ${result}\nstdout:\n${out}\nstderr:\n${err}")
endfunction()

set(usage_pattern "^Usage: tamsel .*--render-ui .*--prompt-lab-preview .*--version.*--help.*Configuration file: ${HOME}/.config/tamsel/config.json\n$")

# --help anywhere, even after a mode, answers and starts nothing.
foreach(arguments "--help" "-h" "--render-ui;--help")
    run_tamsel(${arguments})
    if(NOT (result EQUAL 0))
        fail("${arguments}: exit 0")
    endif()
    string(REGEX MATCH "${usage_pattern}" matched "${out}")
    if(NOT matched)
        fail("${arguments}: the usage on standard output")
    endif()
    if(NOT (err STREQUAL ""))
        fail("${arguments}: nothing on standard error")
    endif()
endforeach()
if(EXISTS ${HOME}/.config/tamsel/config.json)
    message(FATAL_ERROR "--help wrote a configuration file")
endif()

run_tamsel(--version)
if(NOT (result EQUAL 0))
    fail("--version: exit 0")
endif()
if(NOT (out STREQUAL "tamsel ${VERSION}\n"))
    fail("--version: the version alone")
endif()

# One line naming the option, then the usage; status 2 as for any usage error.
run_tamsel(--prompt-lab-preview 3 --colour)
if(NOT (result EQUAL 2))
    fail("unknown option: exit 2")
endif()
if(NOT (out STREQUAL ""))
    fail("unknown option: nothing on standard output")
endif()
string(REGEX MATCH "^tamsel: unknown option \"--colour\"\n\nUsage: tamsel " matched "${err}")
if(NOT matched)
    fail("unknown option: named on the first line, the usage after it")
endif()
