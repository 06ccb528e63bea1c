// SPDX-License-Identifier: Apache-2.0
#include "mandarin_data.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "engine_process.h"
#include "polyphone_model.h"

namespace speech {

const mandarin::Lexicon *mandarin_lexicon() {
    static std::once_flag once;
    static std::unique_ptr<mandarin::Lexicon> lexicon;
    std::call_once(once, [] {
        std::string error;
        const std::string path = mandarin_lexicon_path();
        lexicon = mandarin::Lexicon::open(path, error);
        if (!lexicon) {
            std::fprintf(stderr, "speech service: %s\n", error.c_str());
            return;
        }
        std::unique_ptr<mandarin::PolyphoneModel> model =
            mandarin::PolyphoneModel::open(mandarin::polyphone_model_path(path), error);
        if (!model) std::fprintf(stderr, "speech service: %s; polyphones are read by the rules only\n", error.c_str());
        lexicon->set_polyphone_model(std::move(model));
    });
    return lexicon.get();
}

std::string mandarin_lexicon_path() {
    if (const char *env = std::getenv("SPEECH_SERVICE_LEXICON"); env != nullptr && *env != '\0') return env;
    std::string beside_engine = folder_of(engine_program_path()) + "/mandarin.lex";
    // A helper named by $SPEECH_SERVICE_ENGINE may have no lexicon beside
    // it: then the one beside the service's own helper.
    if (access(beside_engine.c_str(), R_OK) != 0) return folder_of(installed_engine_program_path()) + "/mandarin.lex";
    return beside_engine;
}

}  // namespace speech
