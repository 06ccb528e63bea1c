// SPDX-License-Identifier: Apache-2.0
#include "tab_pairs.h"

#include <sstream>

namespace tts_server {

std::vector<std::pair<std::string, std::string>> tab_pairs(std::string_view lines) {
    std::vector<std::pair<std::string, std::string>> out;
    std::istringstream in{std::string(lines)};
    for (std::string line; std::getline(in, line);) {
        const auto tab = line.find('\t');
        out.emplace_back(line.substr(0, tab), tab == std::string::npos ? "" : line.substr(tab + 1));
    }
    return out;
}

}  // namespace tts_server
