// SPDX-License-Identifier: Apache-2.0
#include "last_line.h"

namespace speech {

void LastLine::feed(const char *data, std::size_t len) {
    for (std::size_t i = 0; i < len; ++i) {
        const char c = data[i];
        if (c == '\n') {
            if (!current_.empty()) last_.swap(current_);
            current_.clear();
        } else if (c != '\r' && current_.size() < kMaxLine) {
            current_ += c;
        }
    }
}

std::string LastLine::get() const { return current_.empty() ? last_ : current_; }

}  // namespace speech
