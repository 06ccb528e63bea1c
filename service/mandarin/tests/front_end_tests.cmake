# SPDX-License-Identifier: Apache-2.0
# Included from CMakeLists.txt beside it.

# The front end's stages on a stand-in lexicon.
add_executable(test_front_end test_numbers.cc test_front_end.cc test_engine_text.cc fake_han_reader.cc
  $<TARGET_OBJECTS:mandarin_front_end>)
target_include_directories(test_front_end PRIVATE ${PROJECT_SOURCE_DIR}/service/mandarin)
target_link_libraries(test_front_end PRIVATE GTest::gtest_main)
tts_warnings(test_front_end)
gtest_discover_tests(test_front_end PROPERTIES LABELS mandarin)

# speech_service_reading through the real library and lexicon.
add_executable(test_reading_api test_reading_api.cc)
target_include_directories(test_reading_api PRIVATE ${PROJECT_SOURCE_DIR}/service/mandarin)
target_link_libraries(test_reading_api PRIVATE speech_service GTest::gtest_main)
tts_warnings(test_reading_api)
gtest_discover_tests(test_reading_api TEST_FILTER "-*MissingModel" PROPERTIES LABELS mandarin)
add_test(NAME ReadingApi.MissingModel COMMAND test_reading_api --gtest_filter=*MissingModel)
set_tests_properties(ReadingApi.MissingModel PROPERTIES LABELS mandarin
  ENVIRONMENT SPEECH_SERVICE_POLYPHONE_MODEL=${CMAKE_CURRENT_BINARY_DIR}/no-such-model.bin)

# Sessions of the voice xiaoxin on the real engine.
add_executable(test_mandarin_session test_mandarin_session.cc ${PROJECT_SOURCE_DIR}/service/tests/service_client.cc)
target_include_directories(test_mandarin_session PRIVATE ${PROJECT_SOURCE_DIR}/service/tests)
target_link_libraries(test_mandarin_session PRIVATE speech_service GTest::gtest_main)
tts_warnings(test_mandarin_session)
gtest_discover_tests(test_mandarin_session TEST_FILTER "-*MissingLexicon" PROPERTIES LABELS mandarin)
add_test(NAME MandarinSession.MissingLexicon COMMAND test_mandarin_session --gtest_filter=*MissingLexicon)
set_tests_properties(MandarinSession.MissingLexicon PROPERTIES LABELS mandarin
  ENVIRONMENT SPEECH_SERVICE_LEXICON=${CMAKE_CURRENT_BINARY_DIR}/no-such.lex)
