# raylib 6.0 and GLFW 3.4 come from scripts/setup.sh, which builds them from
# Debian's source packages into a cache; pass its prefix as CMAKE_PREFIX_PATH.
find_package(glfw3 3.4 CONFIG REQUIRED)
find_package(OpenGL REQUIRED)
find_package(Threads REQUIRED)
find_package(X11 REQUIRED)

find_path(RAYLIB_INCLUDE_DIR raylib.h REQUIRED)
find_library(RAYLIB_LIBRARY NAMES libraylib.a raylib REQUIRED)
if(NOT EXISTS ${RAYLIB_INCLUDE_DIR}/rlgl.h)
  message(FATAL_ERROR "raylib at ${RAYLIB_INCLUDE_DIR} has no rlgl.h; run scripts/setup.sh")
endif()

add_library(raylib STATIC IMPORTED GLOBAL)
set_target_properties(raylib PROPERTIES
  IMPORTED_LOCATION ${RAYLIB_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${RAYLIB_INCLUDE_DIR}
  INTERFACE_LINK_LIBRARIES "glfw;OpenGL::GL;X11::X11;Threads::Threads;${CMAKE_DL_LIBS};m")

find_package(assimp CONFIG REQUIRED)
find_package(mimalloc CONFIG REQUIRED)
find_package(meshoptimizer CONFIG REQUIRED)
