// SPDX-License-Identifier: Apache-2.0
// Reads every line of a UTF-8 file through read_han() and prints, per line,
// one field per character: its syllable for a Han character, "-" for any
// other. Each run is read with the number or Latin word beside it, as the
// front end reads it, and with --model, the line as its sentence for the
// polyphone model. On stderr: the time to open the lexicon (the median of
// 21 opens) and to read the file (on the clock, and in CPU time).
//
//   mandarin-read-bench [--words] [--notes] [--model FILE [--uncombined]]
//                       LEXICON TEXTFILE > readings
//
// With --words, a Han character that begins a word of several is preceded
// by "[" and one that ends it followed by "]". With --notes, a Han
// character's field is "syllable|source|model's syllable|its probability|
// the model's probability of the rules' reading|length of the word" (the
// model's fields empty where it was not asked). With --uncombined, the
// model is asked but the rules' reading kept.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "han_reader.h"
#include "lexicon.h"
#include "polyphone_model.h"

namespace {

using Clock = std::chrono::steady_clock;

// Lenient UTF-8 decoding: a bad byte becomes U+FFFD.
std::u32string decode(const std::string &s) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        int n = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        if (n < 0 || (n > 0 && i + static_cast<std::size_t>(n) >= s.size())) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        char32_t c = n == 0 ? b : b & (0x3F >> n);
        for (int k = 1; k <= n; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out.push_back(c);
        i += static_cast<std::size_t>(n) + 1;
    }
    return out;
}

bool is_digit(char32_t c) { return c >= U'0' && c <= U'9'; }
bool is_letter(char32_t c) { return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z'); }

// What is beside a run at `k` (the character after it, or the one before
// it with `before`), past blanks.
speech::mandarin::RunSide side_at(const std::u32string &line, std::size_t k, bool before) {
    using speech::mandarin::RunSide;
    const auto at = [&](std::size_t i) {
        return before ? (i == 0 ? U'\0' : line[i - 1]) : (i < line.size() ? line[i] : U'\0');
    };
    while (at(k) == U' ') before ? --k : ++k;
    const char32_t c = at(k);
    if (speech::mandarin::is_han(c)) return {};  // across a blank: a pause
    if (is_letter(c)) return {RunSide::word};
    if (!is_digit(c)) return {};
    if (!before) return {RunSide::number};
    while (is_digit(at(k))) --k;
    return {at(k) == U'第' ? RunSide::ordinal : RunSide::number};
}

double ms_since(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

// The CPU time of this thread in milliseconds: on a shared machine, steadier
// than the time on the clock.
double cpu_ms() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char **argv) {
    using namespace speech::mandarin;
    bool mark_words = false, notes = false, combine = true;
    std::string model_path;
    int arg = 1;
    for (; arg < argc && argv[arg][0] == '-' && argv[arg][1] == '-'; ++arg) {
        const std::string option = argv[arg];
        if (option == "--words") {
            mark_words = true;
        } else if (option == "--notes") {
            notes = true;
        } else if (option == "--uncombined") {
            combine = false;
        } else if (option == "--model" && arg + 1 < argc) {
            model_path = argv[++arg];
        } else {
            break;
        }
    }
    if (argc - arg != 2) {
        std::fprintf(stderr, "usage: %s [--words] [--notes] [--model FILE [--uncombined]] LEXICON TEXTFILE\n", argv[0]);
        return 2;
    }
    argv += arg - 1;
    // The median of several opens, each mapping and checking the file anew.
    std::string error;
    std::vector<double> opens;
    std::unique_ptr<Lexicon> lexicon;
    for (int k = 0; k < 21; ++k) {
        auto t0 = Clock::now();
        lexicon = Lexicon::open(argv[1], error);
        opens.push_back(ms_since(t0));
        if (!lexicon) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    std::sort(opens.begin(), opens.end());
    double open_ms = opens[opens.size() / 2];
    std::unique_ptr<PolyphoneModel> model;
    if (!model_path.empty() && !(model = PolyphoneModel::open(model_path, error))) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const bool with_model = model != nullptr;
    lexicon->set_polyphone_model(std::move(model));
    std::ifstream in(argv[2], std::ios::binary);
    std::vector<std::u32string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(decode(line));

    std::vector<std::vector<std::string>> out(lines.size());
    auto t0 = Clock::now();
    const double cpu0 = cpu_ms();
    for (std::size_t l = 0; l < lines.size(); ++l) {
        const std::u32string &line = lines[l];
        // The line as the front end gives it to the model: blanks left out.
        std::vector<std::size_t> at(line.size());
        std::u32string sentence_chars;
        for (std::size_t i = 0; i < line.size(); ++i) {
            at[i] = sentence_chars.size();
            if (line[i] != U' ') sentence_chars += is_han(line[i]) ? to_simplified(*lexicon, line[i]) : line[i];
        }
        for (std::size_t i = 0; i < line.size();) {
            if (!is_han(line[i])) {
                out[l].push_back("-");
                ++i;
                continue;
            }
            RunEdges edges;
            edges.before = side_at(line, i, true);
            Sentence sentence;
            sentence.chars = sentence_chars;
            sentence.offset = at[i];
            sentence.model_decides = combine;
            std::u32string run;
            for (; i < line.size() && is_han(line[i]); ++i) run.push_back(to_simplified(*lexicon, line[i]));
            edges.after = side_at(line, i, false);
            for (HanWord &w : read_han(*lexicon, run, edges, with_model ? &sentence : nullptr)) {
                for (std::size_t k = 0; k < w.syllables.size(); ++k) {
                    std::string s = w.syllables[k].empty() ? "?" : std::move(w.syllables[k]);
                    if (notes && k < w.notes.size()) {
                        const CharNote &note = w.notes[k];
                        char field[96];
                        if (note.model_syllable.empty())
                            std::snprintf(field, sizeof field, "|%s|||", source_name(note.source));
                        else
                            std::snprintf(field, sizeof field, "|%s|%.*s|%.6g|%.6g", source_name(note.source),
                                          static_cast<int>(note.model_syllable.size()), note.model_syllable.data(),
                                          static_cast<double>(note.model_probability),
                                          static_cast<double>(note.rule_probability));
                        s += field;
                        s += '|' + std::to_string(w.length) + '|' + std::to_string(note.word_cost);
                    }
                    if (mark_words && w.length > 1 && k == 0) s = "[" + s;
                    if (mark_words && w.length > 1 && k + 1 == w.length) s += "]";
                    out[l].push_back(std::move(s));
                }
            }
        }
    }
    double read_ms = ms_since(t0);
    const double read_cpu_ms = cpu_ms() - cpu0;
    std::ostringstream text;
    for (const auto &fields : out) {
        for (std::size_t k = 0; k < fields.size(); ++k) text << (k ? " " : "") << fields[k];
        text << '\n';
    }
    std::cout << text.str();
    std::fprintf(stderr, "open_ms %.3f\nread_ms %.1f\nread_cpu_ms %.1f\n", open_ms, read_ms, read_cpu_ms);
    return 0;
}
