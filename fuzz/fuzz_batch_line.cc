// SPDX-License-Identifier: Apache-2.0
// A batch manifest line on any bytes: it is read or refused with a reason;
// an accepted line names a file inside the output folder and a speakable
// text; whatever the reason repeats of the line is escaped and bounded.
#include <cstddef>
#include <cstdint>
#include <string>

#include "batch_item.h"
#include "batch_place.h"
#include "shown_text.h"
#include "utf8.h"

namespace {

bool has_control(const std::string &s) {
    for (const char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string line(reinterpret_cast<const char *>(data), size);
    const tts_say::Options defaults;
    const tts_say::BatchItem item = tts_say::parse_batch_line(line, 1, defaults);
    if (item.id.empty()) __builtin_trap();
    if (item.error.empty()) {
        if (!tts_say::stays_inside(item.output) || !tts_say::stays_inside(item.id)) __builtin_trap();
        if (!speech::is_speakable_utf8(item.text.data(), item.text.size())) __builtin_trap();
    }
    if (has_control(item.error) || item.error.size() > 4 * tts_text::kShownBytes + 400) __builtin_trap();
    const std::string shown = tts_text::shown(line);
    if (has_control(shown) || shown.size() > 4 * tts_text::kShownBytes + 40) __builtin_trap();
    return 0;
}
