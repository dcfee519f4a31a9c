# Building a game module: vantor_add_game() for games, vantor_game_module() for
# the modules the engine's own tests make. Included by the engine's build and
# installed with the SDK (lib/cmake/Vantor), so games and the sample game are
# built the same way.
include_guard(GLOBAL)
set(_VANTOR_GAME_CMAKE_DIR ${CMAKE_CURRENT_LIST_DIR})

# A shared library named game.dll (that name on every system) in `outdir`,
# which exports only what its sources mark VANTOR_EXPORT: the engine looks up
# define_func, define_op, init and tick, and reload, define_keep and
# vantor_runtime when there.
function(vantor_game_module target outdir)
  add_library(${target} SHARED ${ARGN})
  set_target_properties(${target} PROPERTIES
    PREFIX "" OUTPUT_NAME game SUFFIX ".dll"
    LIBRARY_OUTPUT_DIRECTORY ${outdir}
    RUNTIME_OUTPUT_DIRECTORY ${outdir}
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_compile_features(${target} PRIVATE cxx_std_17)
  if(WIN32)
    # The exports are the functions marked __declspec(dllexport). Each module's
    # import library gets a name of its own, out of the way of the DLLs.
    set_target_properties(${target} PROPERTIES
      ARCHIVE_OUTPUT_NAME ${target} ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/import)
  else()
    target_link_options(${target} PRIVATE
      -Wl,--version-script=${_VANTOR_GAME_CMAKE_DIR}/vantor-exports.map -Wl,--no-undefined)
    vantor_unloadable(${target})
  endif()
endfunction()

# GCC marks the statics of inline functions and templates as unique symbols,
# and a library holding one is never unloaded: every reload of game.dll would
# stay in memory. Ordinary weak symbols do the same job inside one module.
function(vantor_unloadable target)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND NOT WIN32)
    target_compile_options(${target} PRIVATE -fno-gnu-unique)
  endif()
endfunction()

# vantor_add_game(<name> SOURCES <file>... [ASSETS <dir>] [STARTER_ASSETS]
#                 [OUTPUT_DIRECTORY <dir>] [PACKAGE_NAME <name>])
#
# Builds the game's sources with the SDK's game-side library into game.dll and
# lays out a folder that runs: the engine, game.dll and assets/ (a copy of
# ASSETS; files that changed are copied again on every build). STARTER_ASSETS
# copies the SDK's starter assets there first (the level, a figure with clips,
# a crate, a ball, sounds; see share/vantor/starter/README.md), so a file of
# the same name in ASSETS takes their place. The folder is
# OUTPUT_DIRECTORY, by default <build dir>/<name>.
# `cmake --build . --target run_<name>` plays the game;
# `cmake --build . --target package_<name>` packs it for players into
# <build dir>/<package name>-linux-x64.tar.gz (-windows-x64.zip when built for
# Windows), the package name being PACKAGE_NAME, by default <name>.
function(vantor_add_game name)
  cmake_parse_arguments(PARSE_ARGV 1 GAME "STARTER_ASSETS" "ASSETS;OUTPUT_DIRECTORY;PACKAGE_NAME" "SOURCES")
  if(NOT GAME_SOURCES)
    message(FATAL_ERROR "vantor_add_game(${name}): no SOURCES given")
  endif()
  if(GAME_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "vantor_add_game(${name}): unknown arguments: ${GAME_UNPARSED_ARGUMENTS}")
  endif()
  set(dir ${GAME_OUTPUT_DIRECTORY})
  if(NOT dir)
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/${name})
  endif()

  vantor_game_module(${name} ${dir} ${GAME_SOURCES})
  # The glue (define_func, define_op, the bridge tables) is never referenced by
  # the game's code, yet the engine needs it exported: take the whole library.
  target_link_libraries(${name} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,Vantor::game>")

  # The engine beside game.dll (and on Windows the DLLs it needs), unless the
  # engine is already built into that folder; on every build, so that a rebuilt
  # engine reaches the folder even when game.dll did not change.
  add_custom_target(${name}_engine ALL
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Vantor::engine> ${VANTOR_ENGINE_DLLS} ${dir}
    COMMENT "Laying out ${dir}: the engine beside game.dll")
  add_dependencies(${name}_engine ${name})

  if(GAME_ASSETS)
    get_filename_component(assets ${GAME_ASSETS} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    if(NOT IS_DIRECTORY ${assets})
      message(FATAL_ERROR "vantor_add_game(${name}): ASSETS ${assets} is not a folder")
    endif()
  endif()

  if(GAME_STARTER_ASSETS)
    if(NOT TARGET starter_assets AND NOT IS_DIRECTORY "${VANTOR_STARTER_DIR}")
      message(FATAL_ERROR "vantor_add_game(${name}): STARTER_ASSETS, but this SDK has none at ${VANTOR_STARTER_DIR}")
    endif()
    add_custom_target(${name}_starter_assets ALL
      COMMAND ${CMAKE_COMMAND} -DSOURCE=${VANTOR_STARTER_DIR} -DDESTINATION=${dir}/assets -DSKIP_FROM=${assets}
              -P ${_VANTOR_GAME_CMAKE_DIR}/VantorCopyAssets.cmake
      COMMENT "Copying the starter assets into ${name}")
    if(TARGET starter_assets)  # built by this very build
      add_dependencies(${name}_starter_assets starter_assets)
    endif()
    add_dependencies(${name} ${name}_starter_assets)
  endif()

  if(GAME_ASSETS)
    add_custom_target(${name}_assets ALL
      COMMAND ${CMAKE_COMMAND} -DSOURCE=${assets} -DDESTINATION=${dir}/assets
              -P ${_VANTOR_GAME_CMAKE_DIR}/VantorCopyAssets.cmake
      COMMENT "Copying the assets of ${name}")
    add_dependencies(${name} ${name}_assets)
    if(GAME_STARTER_ASSETS)
      add_dependencies(${name}_assets ${name}_starter_assets)  # one copy at a time into the folder
    endif()
  endif()

  # Played this way the engine reloads game.dll (and model files) whenever
  # they are rebuilt: `cmake --build` in another terminal updates the game.
  add_custom_target(run_${name}
    COMMAND ${CMAKE_COMMAND} -E env VANTOR_RELOAD=1 ${dir}/engine${CMAKE_EXECUTABLE_SUFFIX}
    WORKING_DIRECTORY ${dir}
    DEPENDS ${name}
    USES_TERMINAL)

  set(package ${GAME_PACKAGE_NAME})
  if(NOT package)
    set(package ${name})
  endif()
  if(WIN32)
    set(archive ${CMAKE_CURRENT_BINARY_DIR}/${package}-windows-x64.zip)
  else()
    set(archive ${CMAKE_CURRENT_BINARY_DIR}/${package}-linux-x64.tar.gz)
  endif()
  add_custom_target(package_${name}
    COMMAND ${CMAKE_COMMAND} -DNAME=${package} -DENGINE=$<TARGET_FILE:Vantor::engine> -DFOLDER=${dir}
            -DOUTPUT=${archive} -DSYSTEM=${CMAKE_SYSTEM_NAME} -DSTRIP=${CMAKE_STRIP}
            -P ${_VANTOR_GAME_CMAKE_DIR}/VantorPackage.cmake
    DEPENDS ${name}
    COMMENT "Packing ${package} for players"
    VERBATIM)
endfunction()
