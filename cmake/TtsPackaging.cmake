# SPDX-License-Identifier: Apache-2.0
# The installed CMake package, pkg-config files and the .deb.
include(CMakePackageConfigHelpers)

set(TTS_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/tts)
install(EXPORT ttsTargets NAMESPACE tts:: DESTINATION ${TTS_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ttsConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ttsConfig.cmake INSTALL_DESTINATION ${TTS_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ttsConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ttsConfig.cmake ${PROJECT_BINARY_DIR}/ttsConfigVersion.cmake
  DESTINATION ${TTS_CMAKE_DIR})

# pkg-config files are written at install time so that they carry the
# prefix actually installed to (cmake --install --prefix P).
foreach(pc tts speech_service)
  install(CODE "
    set(CMAKE_INSTALL_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
    set(CMAKE_INSTALL_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
    set(CMAKE_INSTALL_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
    set(PROJECT_VERSION \"${PROJECT_VERSION}\")
    configure_file(\"${PROJECT_SOURCE_DIR}/cmake/${pc}.pc.in\" \"${PROJECT_BINARY_DIR}/pc/${pc}.pc\" @ONLY)
    file(INSTALL \"${PROJECT_BINARY_DIR}/pc/${pc}.pc\"
         DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\")")
endforeach()

set(CPACK_PACKAGE_NAME tts)
set(CPACK_PACKAGE_VENDOR "tts developers")
set(CPACK_PACKAGE_CONTACT "tts developers <tts@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Text to WAV library with an offline speech service")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libespeak-ng1, espeak-ng-data, libsoxr0")
include(CPack)
