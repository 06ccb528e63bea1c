# SPDX-License-Identifier: Apache-2.0
# The installed CMake package, pkg-config files and the .deb.
include(CMakePackageConfigHelpers)

set(TTS_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/tts)
install(EXPORT ttsTargets NAMESPACE tts:: DESTINATION ${TTS_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ttsConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ttsConfig.cmake INSTALL_DESTINATION ${TTS_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ttsConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ttsConfig.cmake ${PROJECT_BINARY_DIR}/ttsConfigVersion.cmake
  DESTINATION ${TTS_CMAKE_DIR} COMPONENT dev)

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
         DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\")"
    COMPONENT dev)
endforeach()

# The Debian packages: build them with scripts/build-debs.sh (make deb), which
# configures a tree for /usr with TTS_DEBIAN_PACKAGE on.
set(TTS_DEB_COMPONENTS libtts speech_service tts_say dev tts_server speechd_tts)
set(TTS_DEB_PACKAGES libtts1 libspeech-service1 tts-say libtts-dev tts-server speech-dispatcher-tts)
set(TTS_DEB_VERSION "${PROJECT_VERSION}-1")

if(TTS_DEBIAN_PACKAGE)
  # Each package's /usr/share/doc: the copyright file and the changelog.
  find_program(TTS_GZIP gzip REQUIRED)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.Debian.gz
    COMMAND ${TTS_GZIP} -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${PROJECT_BINARY_DIR}/changelog.Debian.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog VERBATIM)
  add_custom_target(tts-deb-changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.Debian.gz)
  foreach(component package IN ZIP_LISTS TTS_DEB_COMPONENTS TTS_DEB_PACKAGES)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_BINARY_DIR}/changelog.Debian.gz
      DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  endforeach()
  # The libraries' packages let the system's linker cache be refreshed by
  # the ldconfig trigger (scripts/build-debs.sh takes out the maintainer
  # scripts with ldconfig calls that CPack adds).
  file(WRITE ${PROJECT_BINARY_DIR}/deb/triggers "activate-noawait ldconfig\n")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tts)
set(CPACK_PACKAGE_VENDOR "tts developers")
set(CPACK_PACKAGE_CONTACT "tts developers <tts-devel@tts-project.org>")
# Each package's own first description line is its synopsis: CPack prefixes
# a summary unless it is its default one.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CPACK_PACKAGE_NAME} built using CMake")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${TTS_DEB_COMPONENTS})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Our own libraries, for tts-say: the dependencies on their packages are
# written below, exact, as they are built together.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/${CMAKE_INSTALL_LIBDIR})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_LIBTTS_PACKAGE_NAME libtts1)
set(CPACK_DEBIAN_LIBTTS_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBTTS_PACKAGE_RECOMMENDS "libspeech-service1 (= ${TTS_DEB_VERSION})")
set(TTS_DEB_LIBRARY_CONTROL ${PROJECT_BINARY_DIR}/deb/triggers)
set(CPACK_DEBIAN_LIBTTS_PACKAGE_CONTROL_EXTRA ${TTS_DEB_LIBRARY_CONTROL})
set(CPACK_COMPONENT_LIBTTS_DESCRIPTION "library that speaks a text into a WAV file
libtts turns a UTF-8 text into spoken audio stored as a 16 kHz 16-bit mono
WAV file, with one C call. It drives a speech service library that the host
process provides, such as the one in libspeech-service1.")

set(CPACK_DEBIAN_SPEECH_SERVICE_PACKAGE_NAME libspeech-service1)
set(CPACK_DEBIAN_SPEECH_SERVICE_PACKAGE_SECTION libs)
# SSML and lexicons rely on expat 2.4 or later for its amplification limits.
set(CPACK_DEBIAN_SPEECH_SERVICE_PACKAGE_DEPENDS "espeak-ng-data (>= 1.51), libexpat1 (>= 2.4)")
set(CPACK_DEBIAN_SPEECH_SERVICE_PACKAGE_CONTROL_EXTRA ${TTS_DEB_LIBRARY_CONTROL})
set(CPACK_COMPONENT_SPEECH_SERVICE_DESCRIPTION "offline speech service for libtts
libspeech_service implements the speech service calls that libtts drives,
offline, on the espeak-ng speech engine. Each session runs the engine in a
helper program of its own, installed with its data in /usr/libexec/tts.")

set(CPACK_DEBIAN_TTS_SAY_PACKAGE_NAME tts-say)
set(CPACK_DEBIAN_TTS_SAY_PACKAGE_SECTION sound)
# libcurl4 for --server (loaded at run time, so dpkg-shlibdeps cannot find it).
set(CPACK_DEBIAN_TTS_SAY_PACKAGE_DEPENDS
  "libtts1 (= ${TTS_DEB_VERSION}), libspeech-service1 (= ${TTS_DEB_VERSION}), libcurl4 (>= 7.85)")
set(CPACK_COMPONENT_TTS_SAY_DESCRIPTION "speak a text into a WAV file from the command line
tts-say speaks a text given as arguments, in a file or on standard input
into a WAV file or onto standard output, offline, in Mandarin or in one of
the other voices of the speech engine.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libtts-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
  "libtts1 (= ${TTS_DEB_VERSION}), libspeech-service1 (= ${TTS_DEB_VERSION})")
set(CPACK_COMPONENT_DEV_DESCRIPTION "library that speaks a text into a WAV file - development files
The headers of libtts and of its speech service, the links to the shared
libraries, the CMake package (find_package(tts)) and the pkg-config files.")
set(CPACK_DEBIAN_TTS_SERVER_PACKAGE_NAME tts-server)
set(CPACK_DEBIAN_TTS_SERVER_PACKAGE_SECTION sound)
# The libraries (LAME, libopusenc, libFLAC, libavcodec's AAC encoder,
# libsoxr) come from dpkg-shlibdeps.
set(CPACK_DEBIAN_TTS_SERVER_PACKAGE_DEPENDS "libspeech-service1 (= ${TTS_DEB_VERSION})")
set(CPACK_COMPONENT_TTS_SERVER_DESCRIPTION "offline speech service over HTTP
tts-server speaks texts sent to it over HTTP, offline, in Mandarin or in one
of the other voices of the speech engine. It takes the request shape of the
OpenAI-style speech API and streams MP3, Ogg Opus, AAC, FLAC, WAV or raw
audio as it is made,
and ships hardened systemd units for socket activation.")
set(CPACK_DEBIAN_SPEECHD_TTS_PACKAGE_NAME speech-dispatcher-tts)
set(CPACK_DEBIAN_SPEECHD_TTS_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_SPEECHD_TTS_PACKAGE_DEPENDS "speech-dispatcher (>= 0.11), libspeech-service1 (= ${TTS_DEB_VERSION})")
set(CPACK_DEBIAN_SPEECHD_TTS_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/deb/speechd_tts/conffiles)
if(TTS_DEBIAN_PACKAGE)
  file(WRITE ${PROJECT_BINARY_DIR}/deb/speechd_tts/conffiles "/etc/speech-dispatcher/modules/tts.conf\n")
endif()
set(CPACK_COMPONENT_SPEECHD_TTS_DESCRIPTION "speech-dispatcher output module for the offline speech service
sd_tts lets speech-dispatcher, and so Orca and other screen readers, speak
through the offline speech service: Mandarin read with the right tones and
polyphone readings, and the speech engine's other voices. Select it with
spd-say -o tts, or as the module of a language in speechd.conf.")
include(CPack)
