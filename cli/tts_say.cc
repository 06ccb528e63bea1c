// SPDX-License-Identifier: Apache-2.0
// tts-say: speaks a text into a WAV file through libtts and the speech
// service linked with it. tts-say is the library's host: it chooses the
// session's settings through the service's host parameters, keeps the
// caller's standard input away from the library, and routes its dialogue.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "batch.h"
#include "console_route.h"
#include "options.h"
#include "server_speech.h"
#include "shown_text.h"
#include "session_settings.h"
#include "signal_cleanup.h"
#include "speech_service.h"
#include "text_input.h"
#include "tts.h"
#include "voices.h"
#include "wav_output.h"

namespace {

using tts_say::kHostParamsEnv;
using tts_say::Options;

constexpr int kExitSpoken = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int fail(const std::string &why) {
    std::cerr << "tts-say: " << why << "\n";
    return kExitFailed;
}

int usage_error(const std::string &why) {
    std::cerr << "tts-say: " << why << "\n" << tts_say::kUsage << "\nTry 'tts-say --help' for more.\n";
    return kExitUsage;
}

// The WAV header must describe the audio the session delivers.
void set_header_rate(int rate) {
    default_wav_hdr.sample_rate = static_cast<uint32_t>(rate);
    default_wav_hdr.byte_rate = static_cast<uint32_t>(rate) * default_wav_hdr.block_align;
}

// The library's error lines in a captured dialogue, joined by "; ".
std::string dialogue_errors(const std::string &dialogue) {
    static const char *const kErrorStarts[] = {"params is error!", "MSPLogin failed", "open ", "QTTSAudioGet failed",
                                               "write "};
    std::istringstream lines(dialogue);
    std::string line, out;
    while (std::getline(lines, line)) {
        for (const char *start : kErrorStarts)
            if (line.rfind(start, 0) == 0) out += (out.empty() ? "" : "; ") + line;
    }
    return out;
}

std::string verdict(int rc, const Options &o, const std::string &where, const std::string &dialogue) {
    if (rc == -1) {
        const std::string errors = dialogue_errors(dialogue);
        if (o.quiet && !errors.empty()) return "the text could not be spoken into " + where + ": " + errors;
        return "the text could not be spoken into " + where + " (see the messages above)";
    }
    std::string why = std::string(speech_service_error_text(rc)) + " (code " + std::to_string(rc) + ")";
    if (const char *engine = speech_service_last_engine_error(); engine != nullptr && *engine != '\0')
        why += "; the engine said: " + tts_text::shown(engine, 400);
    // A refused document or lexicon: the service says where. A document
    // refused at QTTSTextPut shows as a fetch without a text (21013).
    const char *markup = speech_service_last_markup_message();
    // A text refused for the audio it asks for shows the same way.
    if (rc == SPEECH_ERR_NO_TEXT && markup != nullptr && *markup != '\0')
        why = (std::string(markup).find("max_audio_seconds") != std::string::npos ? "the text was refused: "
                                                                                  : "the SSML document was refused: ") +
              tts_text::shown(markup, 400);
    else if ((rc == SPEECH_ERR_BAD_SSML || rc == SPEECH_ERR_BAD_LEXICON) && markup != nullptr && *markup != '\0')
        why += "; " + tts_text::shown(markup, 400);
    const bool parameter_code = rc == 21002 || (rc >= 21006 && rc <= 21009);
    if (parameter_code && std::getenv(kHostParamsEnv) != nullptr)
        why += "; the session parameters were: " + std::string(std::getenv(kHostParamsEnv));
    return why;
}

// Prints the reading table of the text under the session parameters a
// spoken text would get.
int print_reading(const Options &o, const std::string &text) {
    const std::string params = tts_say::session_settings(o);
    char *table = nullptr;
    const int rc = speech_service_reading(params.c_str(), text.data(), static_cast<unsigned int>(text.size()), &table);
    if (rc != 0) return fail("cannot read the text: " + verdict(rc, o, "", ""));
    std::fputs(table, stdout);
    speech_service_free(table);
    if (std::fflush(stdout) != 0) return fail(std::string("cannot write the reading: ") + std::strerror(errno));
    return kExitSpoken;
}

// Speaks the text into the temporary file of `output`, which gets the WAV
// only when it is complete.
int speak(const Options &o, const std::string &text, tts_say::WavOutput &output) {
    std::string error;
    tts_say::give_session_settings(o);
    set_header_rate(tts_say::session_sample_rate(o));

    const tts_say::DialogueTo to = o.quiet                      ? tts_say::DialogueTo::kCapture
                                   : output.on_standard_output() ? tts_say::DialogueTo::kStderr
                                                                 : tts_say::DialogueTo::kStdout;
    tts_say::DialogueRoute route;
    if (!route.begin(to, error)) return fail(error);
    // A blank text is spoken as the empty text: a valid WAV without audio.
    const bool blank = tts_say::is_blank(text);
    const int rc = text_to_speech(blank ? "" : text.c_str(), output.library_path().c_str(), "");
    const std::string dialogue = route.end();

    if (rc != 0) return fail(verdict(rc, o, output.where(), dialogue));
    if (!output.finish(error)) return fail(error);
    if (blank) std::cerr << "tts-say: the text is blank: wrote an empty WAV to " << output.where() << "\n";
    return kExitSpoken;
}

// Speaks the text through the tts-server at o.server, into the output as
// speak() does.
int speak_remotely(const Options &o, const std::string &text, tts_say::WavOutput &output) {
    std::string error;
    if (!tts_say::speak_through_server(o, text, output, error) || !output.finish(error)) return fail(error);
    if (tts_say::is_blank(text)) std::cerr << "tts-say: the text is blank: wrote an empty WAV to " << output.where() << "\n";
    return kExitSpoken;
}

}  // namespace

int main(int argc, char **argv) {
    tts_say::occupy_closed_standard_outputs();
    const tts_say::ParsedCommand command = tts_say::parse_command_line(argc, argv);
    if (!command.error.empty()) return usage_error(command.error);
    const Options &o = command.options;
    if (o.help) {
        std::cout << tts_say::kUsage << "\n\n" << tts_say::kHelp;
        return kExitSpoken;
    }
    if (o.version) {
        std::cout << "tts-say " TTS_VERSION "\n";
        return kExitSpoken;
    }
    if (!o.batch.manifest.empty()) return tts_say::run_batch(o);
    if (o.list_voices || !o.voice.empty()) {
        std::string error;
        const std::string list = tts_say::voice_list(error);
        if (!error.empty()) return fail(error);
        if (o.list_voices) {
            std::cout << list;
            return kExitSpoken;
        }
        if (!tts_say::offers_voice(list, o.voice)) return usage_error("unknown voice " + o.voice + " (see tts-say --voices)");
    }
    if (const int fd = tts_say::named_descriptor(o.output); fd >= 0 && ::isatty(fd))
        return usage_error((o.output == "-" ? std::string("standard output") : o.output) +
                           " is a terminal: redirect it, or write to a file with -o FILE");

    const tts_say::Text text = tts_say::read_text(o);
    if (!text.error.empty()) return fail(text.error);
    if (o.pinyin) return print_reading(o, text.bytes);
    // The library ends by waiting for a key on standard input: it gets an
    // empty one, so the wait returns at once and nothing of ours is read.
    std::string error;
    if (!tts_say::give_empty_stdin(error)) return fail(error);

    tts_say::install_signal_cleanup();
    tts_say::WavOutput output;
    if (!output.open(o.output, error)) return fail(error);
    return o.server.empty() ? speak(o, text.bytes, output) : speak_remotely(o, text.bytes, output);
}
