// SPDX-License-Identifier: Apache-2.0
#include "batch_item.h"

#include <nlohmann/json.hpp>

#include "batch_place.h"
#include "shown_text.h"
#include "utf8.h"

namespace tts_say {
namespace {

using nlohmann::json;

// Sets a level from the line's key, if present; false with the reason.
bool take_level(const json &line, const char *key, int max, int &field, std::string &error) {
    const auto it = line.find(key);
    if (it == line.end()) return true;
    if (!it->is_number_integer() || it->get<long long>() < 0 || it->get<long long>() > max) {
        error = std::string(key) + " must be a whole number from 0 to " + std::to_string(max) + ", not " +
                tts_text::shown(it->dump(-1, ' ', false, json::error_handler_t::replace));
        return false;
    }
    field = it->get<int>();
    return true;
}

bool take_string(const json &line, const char *key, std::string &field, std::string &error) {
    const auto it = line.find(key);
    if (it == line.end()) return true;
    const bool id = std::string(key) == "id";
    if (it->is_number_integer() && id) {
        field = it->dump();
        return true;
    }
    if (!it->is_string() || it->get_ref<const std::string &>().empty()) {
        error = std::string(key) + (id ? " must be a non-empty string or a whole number, not " : " must be a non-empty string, not ") +
                tts_text::shown(it->dump(-1, ' ', false, json::error_handler_t::replace));
        return false;
    }
    field = it->get<std::string>();
    return true;
}

// Reads the JSON object's keys into `item`; false with item.error set.
bool read_object(const std::string &text, BatchItem &item) {
    json line;
    try {
        line = json::parse(text);
    } catch (const json::parse_error &e) {
        // "[json.exception.parse_error.101] parse error at ...": the part after the tag.
        const std::string what = e.what();
        item.error = "not valid JSON: " + tts_text::shown(what.substr(what.find(']') + 2), 200);
        return false;
    }
    if (!line.is_object()) {
        item.error = "not a JSON object (nor ID<TAB>TEXT)";
        return false;
    }
    // The id first, so that a refused line is still reported under it.
    if (!take_string(line, "id", item.id, item.error)) return false;
    const auto text_it = line.find("text");
    if (text_it == line.end() || !text_it->is_string()) {
        item.error = "no text (a string)";
        return false;
    }
    item.text = text_it->get<std::string>();
    Options &s = item.settings;
    int rate = -1;
    if (!take_string(line, "output_file", item.output, item.error) ||
        !take_string(line, "voice", s.voice, item.error) || !take_level(line, "speed", 100, s.speed, item.error) ||
        !take_level(line, "pitch", 100, s.pitch, item.error) ||
        !take_level(line, "volume", 100, s.volume, item.error) || !take_level(line, "rdn", 2, s.rdn, item.error) ||
        !take_level(line, "sample_rate", 16000, rate, item.error))
        return false;
    if (rate != -1 && rate != 16000 && rate != 8000) {
        item.error = "sample_rate must be 16000 or 8000, not " + std::to_string(rate);
        return false;
    }
    if (rate != -1) s.rate = rate;
    return true;
}

}  // namespace

BatchItem parse_batch_line(const std::string &text, long long line, const Options &defaults) {
    BatchItem item;
    item.line = line;
    item.settings = defaults;
    item.id = std::to_string(line);
    const std::size_t tab = text.find('\t');
    const bool json_line = text.find_first_not_of(" \t") != std::string::npos &&
                           text[text.find_first_not_of(" \t")] == '{';
    if (json_line) {
        if (!read_object(text, item)) return item;
    } else if (tab != std::string::npos && tab > 0) {
        item.id = text.substr(0, tab);
        item.text = text.substr(tab + 1);
    } else {
        item.error = "not a JSON object (nor ID<TAB>TEXT)";
        return item;
    }
    // Names are checked before the text, so that a refused text still has its file named.
    if (!stays_inside(item.id)) {
        item.error = "the id '" + tts_text::shown(item.id) + "' would leave the output folder";
        return item;
    }
    if (item.output.empty()) item.output = item.id + ".wav";
    if (!stays_inside(item.output)) {
        item.error = "the output_file '" + tts_text::shown(item.output) + "' would leave the output folder" +
                     (item.output[0] == '/' ? " (an absolute path: name it relative to the folder)" : "");
        return item;
    }
    if (!speech::is_speakable_utf8(item.text.data(), item.text.size()))
        item.error = "the text is not UTF-8 or holds a NUL byte";
    else if (!item.settings.voice.empty() &&
             item.settings.voice.find_first_of(",=") != std::string::npos)
        item.error = "unknown voice " + tts_text::shown(item.settings.voice);
    return item;
}

}  // namespace tts_say
