# Line-information tables for Windows programs: vm_add_rtli(<target>) makes the
# target's link step store the table (RCDATA 30583) that VmRTLI reads, made
# from the linked file's debug information, and strip that information from
# the shipped file (tools/rtli/rtli-link). The table generator is a host
# program, built with the host's compiler even in a cross build.

if(WIN32)
  find_program(VM_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
  set(VM_RTLIGEN ${CMAKE_BINARY_DIR}/host/rtligen)
  set(rtligen_sources
    ${CMAKE_SOURCE_DIR}/tools/rtli/rtligen.cpp
    ${CMAKE_SOURCE_DIR}/tools/lib/RTLITableWriter.cpp)
  add_custom_command(OUTPUT ${VM_RTLIGEN}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
    COMMAND ${VM_HOST_CXX} -std=c++20 -O2 -Wall -Wextra -I${CMAKE_SOURCE_DIR}/tools/lib
            -I${CMAKE_SOURCE_DIR}/VmLib ${rtligen_sources} -o ${VM_RTLIGEN}
    DEPENDS ${rtligen_sources} ${CMAKE_SOURCE_DIR}/tools/lib/RTLITableWriter.h
            ${CMAKE_SOURCE_DIR}/VmLib/VmRTLIFormat.h
    COMMENT "Building the host line-table generator")
  add_custom_target(rtligen DEPENDS ${VM_RTLIGEN})

  string(REGEX REPLACE "windres$" "" VM_BINUTILS_PREFIX "${CMAKE_RC_COMPILER}")
endif()

function(vm_add_rtli target)
  if(NOT WIN32)
    return()
  endif()
  add_dependencies(${target} rtligen)
  set_target_properties(${target} PROPERTIES RULE_LAUNCH_LINK
    "${CMAKE_SOURCE_DIR}/tools/rtli/rtli-link ${VM_RTLIGEN} ${VM_BINUTILS_PREFIX} --")
  # A new generator or link script makes the table anew.
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${VM_RTLIGEN}
    ${CMAKE_SOURCE_DIR}/tools/rtli/rtli-link ${CMAKE_SOURCE_DIR}/tools/rtli/symbol-names)
endfunction()
