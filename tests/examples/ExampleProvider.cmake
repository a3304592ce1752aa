# Run by CTest:
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DEXAMPLE_SOURCE=... -DCONSUMER_SOURCE=...
#         -DCXX=... -DPKG_CONFIG=... -DLAUNCHER=... -DSANITIZE=ON|OFF -P ExampleProvider.cmake
#
# What a provider author does, from an installed copy only: installs the build into a prefix
# under WORK_DIR, checks the installation's registry, builds examples/provider out of the tree
# with find_package(Vantrel), builds a consumer with pkg-config, registers the provider with the
# installed vantrel-regsvr into a registry of the test's own, reads it through the installed
# services, and unregisters it again. WORK_DIR is removed on every way out of this script.
set(prefix "${WORK_DIR}/prefix")
set(classes "${WORK_DIR}/classes")
set(regsvr "${prefix}/bin/vantrel-regsvr")
# Only the test's own registry and the installation's: never the user's.
set(run_env "${CMAKE_COMMAND}" -E env --unset=VANTREL_CLASSES_DIR
            "XDG_DATA_HOME=${WORK_DIR}/data-home" "LD_LIBRARY_PATH=${prefix}/lib")

function(fail message)
    file(REMOVE_RECURSE "${WORK_DIR}")
    message(FATAL_ERROR "${message}")
endfunction()

# Runs a command; fails the test with its output unless it exits 0. The output is left in
# `step_output`.
function(step name)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
                    ERROR_VARIABLE output)
    if(result)
        fail("${name} failed (${result}):\n${output}")
    endif()
    message(STATUS "${name}: ok")
    set(step_output "${output}" PARENT_SCOPE)
endfunction()

function(expect_registered count what)
    file(GLOB files "${prefix}/share/vantrel/classes/*.class")
    list(LENGTH files found)
    if(NOT found EQUAL count)
        fail("${what}: ${found} class files in the installation's registry, expected ${count}")
    endif()
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}" "${classes}" "${WORK_DIR}/data")

# 1. The installation and its registry: the six shipped classes, and -u removes one.
step("cmake --install" "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}")
foreach(program vantrel vantrel-regsvr vantrel-compare)
    if(NOT EXISTS "${prefix}/bin/${program}")
        fail("not installed: bin/${program}")
    endif()
endforeach()
expect_registered(6 "after installing")
step("vantrel-regsvr --list" ${run_env} "${regsvr}" --list)
foreach(progid Vantrel.SQLite.1 Vantrel.PostgreSQL.1 Vantrel.ODBC.1 Vantrel.RootEnumerator.1
        Vantrel.DataInitialize.1 Vantrel.DataLinks.1)
    if(NOT step_output MATCHES "${progid}")
        fail("vantrel-regsvr --list does not show ${progid}:\n${step_output}")
    endif()
endforeach()
set(postgres "${prefix}/lib/vantrel/modules/vantrel-postgres.so")
step("vantrel-regsvr -u vantrel-postgres.so" ${run_env} "${regsvr}" -u
     --dir "${prefix}/share/vantrel/classes" "${postgres}")
expect_registered(5 "after unregistering the PostgreSQL provider")
step("vantrel-regsvr --list" ${run_env} "${regsvr}" --list)
if(step_output MATCHES "Vantrel.PostgreSQL.1")
    fail("the PostgreSQL provider is still listed after -u:\n${step_output}")
endif()
step("vantrel-regsvr vantrel-postgres.so" ${run_env} "${regsvr}"
     --dir "${prefix}/share/vantrel/classes" "${postgres}")
expect_registered(6 "after registering the PostgreSQL provider again")

# 2. The example provider, from a copy outside the source tree, against the prefix only.
file(COPY "${EXAMPLE_SOURCE}/" DESTINATION "${WORK_DIR}/example")
set(configure "${CMAKE_COMMAND}" -S "${WORK_DIR}/example" -B "${WORK_DIR}/example-build"
              "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${CXX}")
if(LAUNCHER)
    list(APPEND configure "-DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER}")
endif()
set(sanitize_flags)
if(SANITIZE)
    # The installed kit carries the sanitizers' instrumentation; so must its users.
    set(sanitize_flags -fsanitize=address,undefined)
    list(APPEND configure "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined")
endif()
step("configuring the example provider" ${configure})
step("building the example provider" "${CMAKE_COMMAND}" --build "${WORK_DIR}/example-build")
set(module "${WORK_DIR}/example-build/vantrel-example-csv.so")

# 3. A consumer, with the flags pkg-config gives for the installed copy.
execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env "PKG_CONFIG_PATH=${prefix}/lib/pkgconfig"
            "${PKG_CONFIG}" --cflags --libs vantrel-oledb
    RESULT_VARIABLE result OUTPUT_VARIABLE pc_flags ERROR_VARIABLE pc_error
    OUTPUT_STRIP_TRAILING_WHITESPACE)
if(result)
    fail("pkg-config vantrel-oledb failed: ${pc_error}")
endif()
separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
file(COPY "${CONSUMER_SOURCE}" DESTINATION "${WORK_DIR}")
get_filename_component(consumer_name "${CONSUMER_SOURCE}" NAME)
set(consumer "${WORK_DIR}/consumer")
step("building the consumer" "${CXX}" -std=c++20 ${sanitize_flags}
     "${WORK_DIR}/${consumer_name}" ${pc_flags} -o "${consumer}")

# 4. Not registered: not there. Registered: listed and read. Unregistered: gone again.
set(consumer_env ${run_env} "VANTREL_CLASSES_DIR=${classes}")
step("the provider before registering" ${consumer_env} "${consumer}" absent)
step("registering the example provider" ${run_env} "${regsvr}" --dir "${classes}" "${module}")
step("reading through the example provider" ${consumer_env} "${consumer}" read
     "${WORK_DIR}/data")
message("${step_output}")
step("unregistering the example provider" ${run_env} "${regsvr}" -u --dir "${classes}"
     "${module}")
step("the provider after unregistering" ${consumer_env} "${consumer}" absent)

file(REMOVE_RECURSE "${WORK_DIR}")
