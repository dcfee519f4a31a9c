# raylib 6.0 and GLFW 3.4 come from scripts/setup.sh, which builds them from
# Debian's source packages into a cache; pass its prefix as CMAKE_PREFIX_PATH.
# For Windows, scripts/windows.sh builds them (and assimp) with MinGW-w64.
find_package(glfw3 3.4 CONFIG REQUIRED)
find_package(OpenGL REQUIRED)
find_package(Threads REQUIRED)
if(WIN32)
  set(RAYLIB_SYSTEM_LIBS winmm)  # timeBeginPeriod, for raylib's frame timing
else()
  find_package(X11 REQUIRED)
  set(RAYLIB_SYSTEM_LIBS X11::X11 ${CMAKE_DL_LIBS} m)
endif()

find_path(RAYLIB_INCLUDE_DIR raylib.h REQUIRED)
find_library(RAYLIB_LIBRARY NAMES libraylib.a raylib REQUIRED)
if(NOT EXISTS ${RAYLIB_INCLUDE_DIR}/rlgl.h)
  message(FATAL_ERROR "raylib at ${RAYLIB_INCLUDE_DIR} has no rlgl.h; run scripts/setup.sh")
endif()

add_library(raylib STATIC IMPORTED GLOBAL)
set_target_properties(raylib PROPERTIES
  IMPORTED_LOCATION ${RAYLIB_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${RAYLIB_INCLUDE_DIR}
  INTERFACE_LINK_LIBRARIES "glfw;OpenGL::GL;Threads::Threads;${RAYLIB_SYSTEM_LIBS}")

find_package(assimp CONFIG REQUIRED)

# The process-wide allocator, linked into the engine (and the benchmarks that
# measure with it). On Windows mimalloc can replace malloc only as a DLL
# together with its prebuilt mimalloc-redirect.dll, which Debian's source
# package does not carry; a static mimalloc there would replace nothing. So the
# Windows build keeps the C runtime's allocator and links no mimalloc.
add_library(vantor_allocator INTERFACE)
if(NOT WIN32)
  find_package(mimalloc CONFIG REQUIRED)
  target_link_libraries(vantor_allocator INTERFACE mimalloc)
endif()
find_package(meshoptimizer CONFIG REQUIRED)

# Bullet, single precision: Debian's libbullet-dev here (shared libraries, which
# a Linux package carries); for Windows scripts/windows.sh builds it static.
# Only the rigid-body part is used: dynamics, collision and the maths under them.
find_path(BULLET_INCLUDE_DIR btBulletDynamicsCommon.h PATH_SUFFIXES bullet
  DOC "the folder holding btBulletDynamicsCommon.h")
if(NOT BULLET_INCLUDE_DIR)
  message(FATAL_ERROR "Bullet was not found (btBulletDynamicsCommon.h); run scripts/setup.sh")
endif()
set(BULLET_LIBRARIES)
foreach(part BulletDynamics BulletCollision LinearMath)  # in link order
  find_library(BULLET_${part}_LIBRARY NAMES ${part})
  if(NOT BULLET_${part}_LIBRARY)
    message(FATAL_ERROR "Bullet's ${part} library was not found; run scripts/setup.sh")
  endif()
  list(APPEND BULLET_LIBRARIES ${BULLET_${part}_LIBRARY})
endforeach()
add_library(bullet INTERFACE)
target_include_directories(bullet SYSTEM INTERFACE ${BULLET_INCLUDE_DIR})
target_link_libraries(bullet INTERFACE ${BULLET_LIBRARIES})

# Dear ImGui for the inspector: Debian's libimgui-dev here (a static library of
# its core and backends; only the core is used, drawn and fed by the inspector
# itself); for Windows scripts/windows.sh builds the core from the same release.
# Both leave stb_truetype and stb_rect_pack out (see inspector/FontRaster.cpp).
find_path(IMGUI_INCLUDE_DIR imgui.h PATH_SUFFIXES imgui DOC "the folder holding imgui.h")
find_library(IMGUI_LIBRARY NAMES libimgui.a imgui)
if(NOT IMGUI_INCLUDE_DIR OR NOT IMGUI_LIBRARY)
  message(FATAL_ERROR "Dear ImGui was not found (imgui.h, libimgui.a); run scripts/setup.sh")
endif()
add_library(imgui INTERFACE)
target_include_directories(imgui SYSTEM INTERFACE ${IMGUI_INCLUDE_DIR})
target_link_libraries(imgui INTERFACE ${IMGUI_LIBRARY})

# ENet for playing over the network: Debian's libenet-dev (1.3.17) here; for
# Windows scripts/windows.sh builds 1.3.18 from Debian's sources (the archive no
# longer serves 1.3.17's), which speaks the same protocol.
find_path(ENET_INCLUDE_DIR enet/enet.h DOC "the folder holding enet/enet.h")
find_library(ENET_LIBRARY NAMES enet libenet)
if(NOT ENET_INCLUDE_DIR OR NOT ENET_LIBRARY)
  message(FATAL_ERROR "ENet was not found (enet/enet.h, libenet); run scripts/setup.sh")
endif()
add_library(enet INTERFACE)
target_include_directories(enet SYSTEM INTERFACE ${ENET_INCLUDE_DIR})
target_link_libraries(enet INTERFACE ${ENET_LIBRARY})
if(WIN32)
  target_link_libraries(enet INTERFACE ws2_32 winmm)
  # Its headers bring in windows.h, whose window and drawing functions clash
  # with raylib's (Rectangle, CloseWindow, ShowCursor, PlaySound); ENet needs
  # only the socket declarations.
  target_compile_definitions(enet INTERFACE WIN32_LEAN_AND_MEAN NOGDI NOUSER)
endif()
