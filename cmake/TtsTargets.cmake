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
