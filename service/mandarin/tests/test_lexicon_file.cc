// SPDX-License-Identifier: Apache-2.0
// The compiled lexicon file: a sound one opens; a truncated, damaged or
// foreign one is refused with a message, never read.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lexicon.h"

namespace speech::mandarin {
namespace {

}  // namespace
}  // namespace speech::mandarin
