# The SDK that `cmake --install build --prefix DIR` lays out:
#   bin/engine                      the host program, with the licence of its built-in font
#   include/vantor/                 Game.h (wrappers and handles), Bridge.h, Call.h
#   lib/libvantor_game.a            the game side of the bridge
#   lib/cmake/Vantor/               find_package(Vantor) and vantor_add_game() (on
#                                   Windows also the MinGW-w64 toolchain file games build with)
#   share/doc/Vantor/               the API reference and the first-game tutorial
#   share/vantor/starter/           the starter assets
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VANTOR_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Vantor)
install(TARGETS engine EXPORT VantorTargets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/screen/fonts/LICENSE-DejaVu DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS vantor_game EXPORT VantorTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/game/include/vantor DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT VantorTargets NAMESPACE Vantor:: DESTINATION ${VANTOR_CMAKE_INSTALL_DIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VantorConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VantorConfig.cmake INSTALL_DESTINATION ${VANTOR_CMAKE_INSTALL_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VantorConfigVersion.cmake COMPATIBILITY SameMinorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/VantorConfig.cmake ${PROJECT_BINARY_DIR}/VantorConfigVersion.cmake
  ${PROJECT_SOURCE_DIR}/cmake/VantorGame.cmake ${PROJECT_SOURCE_DIR}/cmake/VantorCopyAssets.cmake
  ${PROJECT_SOURCE_DIR}/cmake/VantorPackage.cmake
  ${PROJECT_SOURCE_DIR}/cmake/vantor-exports.map
  DESTINATION ${VANTOR_CMAKE_INSTALL_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/docs/api.md ${PROJECT_SOURCE_DIR}/docs/api.json ${PROJECT_SOURCE_DIR}/docs/first-game.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(TARGET starter_assets OR IS_DIRECTORY "${VANTOR_STARTER_DIR}")
  install(DIRECTORY ${VANTOR_STARTER_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/vantor/starter)
endif()
if(WIN32)
  # engine.exe runs only with the DLLs it imports beside it.
  install(FILES ${VANTOR_RUNTIME_DLLS} $<TARGET_RUNTIME_DLLS:engine> DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake DESTINATION ${VANTOR_CMAKE_INSTALL_DIR})
endif()
