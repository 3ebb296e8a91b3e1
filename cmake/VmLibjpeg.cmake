# libjpeg as the target JPEG::JPEG. Natively Debian's libjpeg62-turbo-dev; for
# Windows, and instrumented for the fuzz targets, a static build of Debian's
# libjpeg-turbo source package made by scripts/build-libjpeg at configure time
# and kept under build/deps/ (shared by the build folders; quick when it is
# already there).
if(WIN32 OR VM_FUZZ)
  if(WIN32)
    set(VM_LIBJPEG_TRIPLET ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
  else()
    set(VM_LIBJPEG_TRIPLET fuzz)
  endif()
  set(VM_LIBJPEG_DIR ${CMAKE_SOURCE_DIR}/build/deps/libjpeg-${VM_LIBJPEG_TRIPLET})
  execute_process(
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/build-libjpeg ${VM_LIBJPEG_TRIPLET} ${CMAKE_C_COMPILER} ${VM_LIBJPEG_DIR}
    RESULT_VARIABLE VM_LIBJPEG_RESULT)
  if(NOT VM_LIBJPEG_RESULT EQUAL 0)
    message(FATAL_ERROR "libjpeg for ${VM_LIBJPEG_TRIPLET} could not be built (scripts/build-libjpeg)")
  endif()
  add_library(JPEG::JPEG STATIC IMPORTED GLOBAL)
  set_target_properties(JPEG::JPEG PROPERTIES
    IMPORTED_LOCATION ${VM_LIBJPEG_DIR}/lib/libjpeg.a
    INTERFACE_INCLUDE_DIRECTORIES ${VM_LIBJPEG_DIR}/include)
else()
  find_package(JPEG REQUIRED)
endif()
