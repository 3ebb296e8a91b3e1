# Runs the chart tools as a user would: nkf2sample writes a chart of each
# version, nkf2info lists it as JSON and writes tile 0 as a PNG, and a missing
# file gives the exception's class and message with exit status 1 (with
# --trace, and the trace of where it was raised).
# Arguments: -DSAMPLE=... -DINFO=... -DWORK=... [-DEMULATOR=...]

function(run_tool out_var expect_status)
  execute_process(COMMAND ${EMULATOR} ${ARGN}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL expect_status)
    message(FATAL_ERROR "${ARGN}: status ${status}, expected ${expect_status}\n${out}\n${err}")
  endif()
  set(${out_var} "${out}${err}" PARENT_SCOPE)
endfunction()


file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
foreach(version 1.0.0.0 1.0.0.1 1.0.0.2)
  set(chart "${WORK}/sample-${version}.nkf2")
  run_tool(ignored 0 "${SAMPLE}" "${chart}" ${version} 600 400 --tiles)
  run_tool(json 0 "${INFO}" "${chart}")
  foreach(expected "\"Version\": \"${version}\"" "\"Width\": 600" "\"TileCount\"" "\"IsCalibrated\": true"
                   "\"Text2\": \"Written by nkf2sample\"")
    string(FIND "${json}" "${expected}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "nkf2info ${version}: no ${expected} in\n${json}")
    endif()
  endforeach()
  set(png "${WORK}/tile0-${version}.png")
  run_tool(ignored 0 "${INFO}" "${chart}" --tile 0 --png "${png}")
  file(READ "${png}" signature LIMIT 8 HEX)
  if(NOT signature STREQUAL "89504e470d0a1a0a")
    message(FATAL_ERROR "nkf2info ${version}: ${png} is not a PNG (${signature})")
  endif()
endforeach()

run_tool(err 1 "${INFO}" "${WORK}/missing.nkf2")
if(NOT err MATCHES "^EStreamError: Cannot open file .*missing\\.nkf2")
  message(FATAL_ERROR "nkf2info on a missing file said: ${err}")
endif()

# --trace adds where the failure was raised: the Windows programs carry their
# line table, the native ones have none. (The captured text has its CR LF
# turned into LF.)
run_tool(err 1 "${INFO}" "${WORK}/missing.nkf2" --trace)
if(EMULATOR)
  set(trace_expected "Stack trace:\r?\n Logical +File LineNr Routine\r?\n[0-9A-F]+ +VmFileIO.cpp +[0-9]+ VmFileIO\\.")
else()
  set(trace_expected "\\(NO RTLI AVAILABLE!\\)\r?\n$")
endif()
if(NOT err MATCHES "^EStreamError: Cannot open file [^\n]*missing\\.nkf2\r?\n" OR NOT err MATCHES "${trace_expected}")
  message(FATAL_ERROR "nkf2info --trace on a missing file said: ${err}")
endif()
file(REMOVE_RECURSE "${WORK}")
