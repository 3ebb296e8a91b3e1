# Shared compile settings and the small helpers every folder uses.

add_compile_options(-Wall -Wextra)
if(WIN32)
  # ANSI Win32 calls throughout; no MinGW DLL beside the program.
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX WIN32_LEAN_AND_MEAN)
  # The 32-bit stack walk follows the frame-pointer chain.
  add_compile_options(-fno-omit-frame-pointer)
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

if(VM_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(VM_FUZZ)
  # The library is instrumented for coverage; only the harnesses get libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(VM_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# Sources of a folder for this platform: *.cpp of the folder itself, plus the
# files of its win32/ or posix/ subfolder. Units that exist only on Windows
# (windows, dialogs, registry) are named in the folder's WIN32_ONLY list.
function(vm_collect_sources out dir)
  cmake_parse_arguments(ARG "" "" "WIN32_ONLY" ${ARGN})
  file(GLOB common CONFIGURE_DEPENDS "${dir}/*.cpp")
  if(WIN32)
    file(GLOB platform CONFIGURE_DEPENDS "${dir}/win32/*.cpp")
  else()
    file(GLOB platform CONFIGURE_DEPENDS "${dir}/posix/*.cpp")
    foreach(unit IN LISTS ARG_WIN32_ONLY)
      list(REMOVE_ITEM common "${dir}/${unit}.cpp")
    endforeach()
  endif()
  set(${out} ${common} ${platform} PARENT_SCOPE)
endfunction()
