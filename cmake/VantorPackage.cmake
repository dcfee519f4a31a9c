# Packs a game's runnable folder for players: cmake -P VantorPackage.cmake with
#   NAME      the game's name: the program, the top folder and the archive are named after it
#   ENGINE    the engine program to ship
#   FOLDER    the game's folder: game.dll and assets/
#   OUTPUT    the archive to write: <name>-linux-x64.tar.gz or <name>-windows-x64.zip
#   SYSTEM    Linux or Windows, the system the game was built for
#   STRIP     the strip program for that system
#
# The archive holds one folder, <name>/, with the engine as <name> (<name>.exe),
# game.dll, assets/ and the LICENSE files beside the engine (those of what is
# built into it, such as its default font). On Windows the DLLs beside the
# engine come along. On Linux, lib/ holds every library the engine and
# game.dll load that a player's machine cannot be expected to have: all but
# glibc's own, the OpenGL driver's and libX11 with its xcb libraries. The
# engine finds lib/ through its RPATH ($ORIGIN/lib), so the folder runs from
# anywhere.
cmake_minimum_required(VERSION 3.25)
foreach(var NAME ENGINE FOLDER OUTPUT SYSTEM STRIP)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "VantorPackage.cmake: ${var} is not set")
  endif()
endforeach()
foreach(file ${ENGINE} ${FOLDER}/game.dll)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "package ${NAME}: ${file} does not exist; build the game first")
  endif()
endforeach()

get_filename_component(work ${OUTPUT} DIRECTORY)
set(work ${work}/${NAME}-package)
set(stage ${work}/${NAME})
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${stage})

# Copies FILE into DIR under NAME (its own name by default), following links,
# readable by everyone.
function(ship file dir)
  get_filename_component(name ${file} NAME)
  if(ARGC GREATER 2)
    set(name ${ARGV2})
  endif()
  file(REAL_PATH ${file} real)
  file(MAKE_DIRECTORY ${dir})
  file(COPY_FILE ${real} ${dir}/${name})
  file(CHMOD ${dir}/${name} FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
       GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endfunction()

# Debug information goes; the symbol tables of the engine and game.dll stay,
# so a crash report still names the functions.
function(strip_files how)
  if(ARGN)
    execute_process(COMMAND ${STRIP} ${how} ${ARGN} RESULT_VARIABLE failed ERROR_VARIABLE err)
    if(failed)
      message(FATAL_ERROR "package ${NAME}: ${STRIP} failed: ${err}")
    endif()
  endif()
endfunction()

if(SYSTEM STREQUAL "Windows")
  set(program ${stage}/${NAME}.exe)
  ship(${ENGINE} ${stage} ${NAME}.exe)
  get_filename_component(engine_dir ${ENGINE} DIRECTORY)
  file(GLOB dlls ${engine_dir}/*.dll)
  list(FILTER dlls EXCLUDE REGEX "/game\\.dll$")
  set(libraries)
  foreach(dll ${dlls})
    ship(${dll} ${stage})
    get_filename_component(dll_name ${dll} NAME)
    list(APPEND libraries ${stage}/${dll_name})
  endforeach()
  set(archive_format zip)
else()
  set(program ${stage}/${NAME})
  ship(${ENGINE} ${stage} ${NAME})
  # GLFW opens these X11 extension libraries at run time: they are not in
  # the engine's list of needed libraries, yet a window needs them.
  set(opened libXrandr.so.2 libXinerama.so.1 libXcursor.so.1 libXi.so.6 libXext.so.6
             libXrender.so.1 libXfixes.so.3 libXxf86vm.so.1 libX11-xcb.so.1)
  set(system_dirs /lib/x86_64-linux-gnu /usr/lib/x86_64-linux-gnu /lib64 /usr/lib64 /lib /usr/lib)
  set(opened_paths)
  foreach(so ${opened})
    set(found)
    foreach(dir ${system_dirs})
      if(NOT found AND EXISTS ${dir}/${so})
        set(found ${dir}/${so})
      endif()
    endforeach()
    if(found)
      list(APPEND opened_paths ${found})
    else()
      message(WARNING "package ${NAME}: ${so} is not on this machine; the package goes without it")
    endif()
  endforeach()
  # What every player's machine has: glibc, the OpenGL driver, libX11 and the
  # xcb libraries it stands on (Xau, Xdmcp and theirs). Sound libraries are
  # opened from the player's system when there (they talk to its sound server
  # with its configuration); without them the game is silent.
  set(system_libraries
    "^ld-linux" "^linux-vdso" "^lib(c|m|dl|pthread|rt|resolv|util|mvec|anl|nsl)\\.so"
    "^lib(GL|GLX|EGL|OpenGL|GLdispatch|GLESv2)\\.so" "^libX11\\.so" "^libxcb" "^libXau\\.so"
    "^libXdmcp\\.so" "^libbsd\\.so" "^libmd\\.so")
  file(GET_RUNTIME_DEPENDENCIES
    EXECUTABLES ${ENGINE}
    LIBRARIES ${FOLDER}/game.dll ${opened_paths}
    DIRECTORIES ${system_dirs}
    PRE_EXCLUDE_REGEXES ${system_libraries}
    RESOLVED_DEPENDENCIES_VAR needed
    UNRESOLVED_DEPENDENCIES_VAR unresolved)
  if(unresolved)
    message(FATAL_ERROR "package ${NAME}: cannot find ${unresolved}, which the engine or game.dll needs")
  endif()
  set(libraries)
  foreach(lib ${needed} ${opened_paths})
    get_filename_component(lib_name ${lib} NAME)
    # Found under the name the loader asks for (the soname's link).
    if(NOT EXISTS ${stage}/lib/${lib_name})
      ship(${lib} ${stage}/lib)
      list(APPEND libraries ${stage}/lib/${lib_name})
    endif()
  endforeach()
  set(archive_format gnutar)
endif()

ship(${FOLDER}/game.dll ${stage})
# What is built into the engine comes with its licence.
get_filename_component(engine_dir ${ENGINE} DIRECTORY)
file(GLOB licences ${engine_dir}/LICENSE*)
foreach(licence ${licences})
  ship(${licence} ${stage})
endforeach()
if(IS_DIRECTORY ${FOLDER}/assets)
  file(COPY ${FOLDER}/assets DESTINATION ${stage})
endif()
strip_files(--strip-debug ${program} ${stage}/game.dll)
strip_files(--strip-unneeded ${libraries})

file(REMOVE ${OUTPUT})
if(archive_format STREQUAL "zip")
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUTPUT} --format=zip -- ${NAME}
                  WORKING_DIRECTORY ${work} RESULT_VARIABLE failed)
else()
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar czf ${OUTPUT} --format=gnutar -- ${NAME}
                  WORKING_DIRECTORY ${work} RESULT_VARIABLE failed)
endif()
if(failed)
  message(FATAL_ERROR "package ${NAME}: could not write ${OUTPUT}")
endif()
file(REMOVE_RECURSE ${work})
file(SIZE ${OUTPUT} size)
math(EXPR kib "(${size} + 1023) / 1024")
message(STATUS "Packed ${OUTPUT} (${kib} KiB)")
