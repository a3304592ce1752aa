# Run by CTest: cmake -DBUILD_DIR=... -DWORK_DIR=... -DCONSUMER_SOURCE=... -DCXX=...
#                    -DSANITIZE=ON|OFF -P InstalledConsumer.cmake
# Installs the vantrel-oledb component into WORK_DIR/prefix, copies the consumer out of the
# source tree, builds it with only the documented flags and runs it.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")

execute_process(
    COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}"
            --component vantrel-oledb
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result)
    message(FATAL_ERROR "install failed:\n${output}")
endif()
foreach(required include/vantrel-oledb/oledb.h include/vantrel-oledb/oledberr.h
        include/vantrel-oledb/msdasc.h include/vantrel-oledb/vantrel/ClassRegistry.h
        lib/libvantrel-com.so)
    if(NOT EXISTS "${prefix}/${required}")
        message(FATAL_ERROR "not installed: ${required}")
    endif()
endforeach()

file(COPY "${CONSUMER_SOURCE}" DESTINATION "${WORK_DIR}")
get_filename_component(source_name "${CONSUMER_SOURCE}" NAME)
set(flags "-I${prefix}/include/vantrel-oledb" "${WORK_DIR}/${source_name}"
          "-L${prefix}/lib" -lvantrel-com -o "${WORK_DIR}/consumer")
if(SANITIZE)
    # The library was built with the sanitizers; the program must carry their runtime.
    list(APPEND flags -fsanitize=address,undefined)
endif()
execute_process(COMMAND "${CXX}" ${flags}
    WORKING_DIRECTORY "${WORK_DIR}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result)
    message(FATAL_ERROR "consumer did not build:\n${output}")
endif()

execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env "LD_LIBRARY_PATH=${prefix}/lib" "${WORK_DIR}/consumer"
    WORKING_DIRECTORY "${WORK_DIR}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
message("${output}")
if(result)
    message(FATAL_ERROR "consumer failed (${result})")
endif()
