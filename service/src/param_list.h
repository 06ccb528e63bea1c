// SPDX-License-Identifier: Apache-2.0
// Parameter lists of the form "key = value, key = value".
#ifndef SPEECH_PARAM_LIST_H
#define SPEECH_PARAM_LIST_H

#include <string>
#include <string_view>
#include <vector>

namespace speech {

struct Param {
    std::string key;
    std::string value;
};

// Splits `text` into pairs; blanks around "=" and "," are ignored. An empty
// or all-blank text is an empty list. Returns false when a pair has no "="
// or more than one, an empty key or an empty value.
bool parse_param_list(std::string_view text, std::vector<Param> &out);

// The value of the last pair with `key`, or null.
const std::string *find_param(const std::vector<Param> &params, std::string_view key);

// A decimal integer of at most 9 digits, no sign; false otherwise.
bool parse_small_uint(const std::string &text, int &out);

}  // namespace speech

#endif  // SPEECH_PARAM_LIST_H
