# SPDX-License-Identifier: Apache-2.0
# Shared settings for the project's targets.

# Warnings for the project's own code; errors too when TTS_WERROR is on.
function(tts_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic
                         $<$<BOOL:${TTS_WERROR}>:-Werror>)
endfunction()

# A shared library of the project: ns::name alias, VERSION and SOVERSION in
# one place, hidden visibility, and exactly the symbols of its version script.
function(tts_setup_library target soversion version_script)
  add_library(tts::${target} ALIAS ${target})
  set_target_properties(${target} PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION ${soversion}
    CXX_VISIBILITY_PRESET hidden
    C_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS ${version_script})
  target_link_options(${target} PRIVATE
    -Wl,--version-script=${version_script}
    -Wl,--as-needed)
endfunction()

# Installs a program of ours and its man page (`page`, a file beside the
# calling CMakeLists.txt, such as tts-say.1), compressed as Debian ships
# them: no name or time stamp, so the same page gives the same bytes.
function(tts_install_program target component page)
  if(NOT TTS_DEBIAN_PACKAGE)  # a system package's programs find the libraries without
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  endif()
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
  find_program(TTS_GZIP gzip REQUIRED)
  string(REGEX REPLACE ".*\\." "" section ${page})
  set(gz ${CMAKE_CURRENT_BINARY_DIR}/${page}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${TTS_GZIP} -9nc ${CMAKE_CURRENT_SOURCE_DIR}/${page} > ${gz}
    DEPENDS ${page} VERBATIM)
  add_custom_target(${target}-man ALL DEPENDS ${gz})
  install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
endfunction()
