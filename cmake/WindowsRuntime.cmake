# Windows: the DLLs a program imports must lie beside it, since a user's machine
# has none of them. vantor_copy_runtime_dlls(target) copies, on every build,
# the imported targets' DLLs (assimp's), zlib's and the compiler's C++ runtime
# (shared by the engine and game.dll, so that standard-library objects and
# exceptions cross between them) into the target's folder.
# scripts/windows.sh checks the import tables against the folder.
set(VANTOR_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
  endif()
  list(APPEND VANTOR_RUNTIME_DLLS ${path})
endforeach()
# zlib1.dll, which assimp imports, lies in the MinGW sysroot (found re-rooted).
find_file(VANTOR_ZLIB_DLL zlib1.dll PATHS /bin /lib NO_DEFAULT_PATH REQUIRED)
list(APPEND VANTOR_RUNTIME_DLLS ${VANTOR_ZLIB_DLL})

function(vantor_copy_runtime_dlls target)
  # A step of its own that runs on every build, so a DLL removed from the
  # folder comes back even when the program is not linked again.
  add_custom_target(${target}_runtime_dlls
    COMMAND ${CMAKE_COMMAND} -E make_directory $<TARGET_FILE_DIR:${target}>
    COMMAND ${CMAKE_COMMAND} -E copy_if_different
            $<TARGET_RUNTIME_DLLS:${target}> ${VANTOR_RUNTIME_DLLS} $<TARGET_FILE_DIR:${target}>
    COMMAND_EXPAND_LISTS VERBATIM)
  add_dependencies(${target} ${target}_runtime_dlls)
endfunction()
