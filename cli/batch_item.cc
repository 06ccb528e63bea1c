// SPDX-License-Identifier: Apache-2.0
#include "batch_item.h"

#include <nlohmann/json.hpp>

#include "utf8.h"

namespace tts_say {
namespace {

using nlohmann::json;

// True when a part of the path is "..".
bool climbs(const std::string &path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end - start == 2 && path.compare(start, 2, "..") == 0) return true;
        start = end + 1;
    }
    return false;
}

// A path that stays inside the output folder: relative, no "..", no NUL.
bool stays_inside(const std::string &path) {
    return !path.empty() && path[0] != '/' && !climbs(path) && path.find('\0') == std::string::npos;
}

// Sets a level from the line's key, if present; false with the reason.
bool take_level(const json &line, const char *key, int max, int &field, std::string &error) {
    const auto it = line.find(key);
    if (it == line.end()) return true;
    if (!it->is_number_integer() || it->get<long long>() < 0 || it->get<long long>() > max) {
        error = std::string(key) + " must be a whole number from 0 to " + std::to_string(max) + ", not " + it->dump();
        return false;
    }
    field = it->get<int>();
    return true;
}

bool take_string(const json &line, const char *key, std::string &field, std::string &error) {
    const auto it = line.find(key);
    if (it == line.end()) return true;
    if (it->is_number_integer() && std::string(key) == "id") {
        field = it->dump();
        return true;
    }
    if (!it->is_string() || it->get_ref<const std::string &>().empty()) {
        error = std::string(key) + " must be a non-empty string";
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
        item.error = "not valid JSON: " + what.substr(what.find(']') + 2);
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

BatchItem parse_batch_line(const std::string &text, long long line, const Options &defaults,
                           const OutputFolder &folder) {
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
        item.error = "the id '" + item.id + "' would leave the output folder";
        return item;
    }
    if (item.output.empty()) {
        item.output = folder.dir + "/" + item.id + ".wav";
    } else if (!stays_inside(item.output) && (folder.given || item.output[0] != '/' || climbs(item.output) ||
                                                   item.output.find('\0') != std::string::npos)) {
        item.error = "the output_file '" + item.output + "' would leave the output folder";
        return item;
    } else if (item.output[0] != '/') {
        item.output = folder.dir + "/" + item.output;
    }
    if (!speech::is_speakable_utf8(item.text.data(), item.text.size()))
        item.error = "the text is not UTF-8 or holds a NUL byte";
    else if (!item.settings.voice.empty() &&
             item.settings.voice.find_first_of(",=") != std::string::npos)
        item.error = "unknown voice " + item.settings.voice;
    return item;
}

}  // namespace tts_say
