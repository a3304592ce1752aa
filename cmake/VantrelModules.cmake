# Building in-process server modules (providers and service components).
#
#   vantrel_module_library(TARGET)
#       Makes a static library fit to be linked into a module: position-independent, and its
#       symbols hidden so that two modules carrying the same code never bind to each other's.
#
#   vantrel_optimise_as_one(TARGET...)
#       Compiles the targets for link-time optimisation, so that a module and the static libraries
#       it links are optimised as one program, and calls other shared libraries without PLT
#       stubs. For the code every statement runs through: smaller, fewer calls between files.
#
#   vantrel_add_module(NAME SOURCES file... [LIBRARIES target...])
#       Builds lib/vantrel/modules/NAME.so from the module's one source file (the one that says
#       VANTREL_MODULE, see platform/com/include/vantrel/Module.h), registers it in the build
#       tree's class registry (share/vantrel/classes) with vantrel-regsvr, and installs it into
#       lib/vantrel/modules. The install step registers the installed modules.

set(VANTREL_BUILD_CLASSES_DIR ${CMAKE_BINARY_DIR}/share/vantrel/classes)

# The environment vantrel-regsvr runs in when the build or the install step registers modules.
set(VANTREL_REGSVR_SANITIZER_ENV)
if(VANTREL_SANITIZE)
  set(VANTREL_REGSVR_SANITIZER_ENV
      "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/../scripts/lsan.supp:print_suppressions=0")
endif()

# Link-time optimisation: on where the compiler supports it, off under the sanitizers (their
# builds are for finding faults, and slower to link with it).
option(VANTREL_MODULE_LTO "Optimise provider modules together with their static libraries" ON)
set(VANTREL_MODULE_LTO_ACTIVE OFF)
if(VANTREL_MODULE_LTO AND NOT VANTREL_SANITIZE)
  include(CheckIPOSupported)
  check_ipo_supported(RESULT vantrel_ipo_supported OUTPUT vantrel_ipo_output LANGUAGES CXX)
  if(vantrel_ipo_supported)
    set(VANTREL_MODULE_LTO_ACTIVE ON)
  else()
    message(STATUS "Provider modules without link-time optimisation: ${vantrel_ipo_output}")
  endif()
endif()

function(vantrel_optimise_as_one)
  foreach(target IN LISTS ARGN)
    # -fno-plt: calls into SQLite, libpq and the COM runtime go through the GOT directly.
    target_compile_options(${target} PRIVATE -fno-plt)
    if(VANTREL_MODULE_LTO_ACTIVE)
      # Fat objects: the installed kit archive and the tests that link a provider's library
      # directly still get machine code when they are linked without link-time optimisation.
      set_target_properties(${target} PROPERTIES INTERPROCEDURAL_OPTIMIZATION ON)
      target_compile_options(${target} PRIVATE -ffat-lto-objects)
    endif()
  endforeach()
endfunction()

function(vantrel_module_library target)
  set_target_properties(${target} PROPERTIES
      POSITION_INDEPENDENT_CODE ON
      CXX_VISIBILITY_PRESET hidden
      VISIBILITY_INLINES_HIDDEN ON)
endfunction()

function(vantrel_add_module name)
  cmake_parse_arguments(MODULE "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_library(${name} MODULE ${MODULE_SOURCES})
  target_link_libraries(${name} PRIVATE ${MODULE_LIBRARIES} vantrel-module vantrel-com)
  set_target_properties(${name} PROPERTIES
      PREFIX ""
      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib/vantrel/modules
      CXX_VISIBILITY_PRESET hidden
      VISIBILITY_INLINES_HIDDEN ON
      INSTALL_RPATH "$ORIGIN/../..")
  if(NOT VANTREL_SANITIZE)
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
  endif()

  # The build registers the module in its own registry, never in the user's or the system's.
  # In a sanitizer build vantrel-regsvr is instrumented too and checks for leaks at exit, with
  # the project's suppressions for system libraries that keep blocks until then (Qt, loaded with
  # the Data Links module; vantrel-regsvr keeps modules loaded so those blocks are named).
  set(stamp ${CMAKE_BINARY_DIR}/share/vantrel/${name}.registered)
  set(registration_env --unset=VANTREL_CLASSES_DIR ${VANTREL_REGSVR_SANITIZER_ENV})
  add_custom_command(OUTPUT ${stamp}
      COMMAND ${CMAKE_COMMAND} -E env ${registration_env}
              $<TARGET_FILE:vantrel-regsvr> --dir ${VANTREL_BUILD_CLASSES_DIR} $<TARGET_FILE:${name}>
      COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
      DEPENDS ${name} vantrel-regsvr
      COMMENT "Registering ${name} in the build tree's class registry"
      VERBATIM)
  add_custom_target(${name}-registered ALL DEPENDS ${stamp})
  set_property(GLOBAL APPEND PROPERTY VANTREL_MODULE_TARGETS ${name} ${name}-registered)
  set_property(GLOBAL APPEND PROPERTY VANTREL_MODULE_NAMES ${name})

  install(TARGETS ${name} LIBRARY DESTINATION lib/vantrel/modules COMPONENT runtime)
endfunction()
