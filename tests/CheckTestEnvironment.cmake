# Run by CTest: cmake -DEXPECTED_DATA_HOME=... -P CheckTestEnvironment.cmake
# Fails unless the test runs with the build tree's data home and no registry directory of the
# caller's.
if(NOT "$ENV{XDG_DATA_HOME}" STREQUAL "${EXPECTED_DATA_HOME}")
    message(FATAL_ERROR "XDG_DATA_HOME is \"$ENV{XDG_DATA_HOME}\", not \"${EXPECTED_DATA_HOME}\"")
endif()
if(DEFINED ENV{VANTREL_CLASSES_DIR})
    message(FATAL_ERROR "VANTREL_CLASSES_DIR is set: \"$ENV{VANTREL_CLASSES_DIR}\"")
endif()
