// SPDX-License-Identifier: Apache-2.0
#include "session_settings.h"

#include <cstdlib>
#include <vector>

#include "param_list.h"

namespace tts_say {
namespace {

constexpr int kDefaultRate = 16000;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Appends the list `more` to `list`; a blank list adds nothing.
void append(std::string &list, std::string more) {
    while (!list.empty() && is_blank(list.back())) list.pop_back();
    while (!more.empty() && is_blank(more.back())) more.pop_back();
    if (more.find_first_not_of(" \t\n\r") == std::string::npos) return;
    list += (list.empty() ? "" : ", ") + more;
}

std::string host_settings() {
    const char *host = std::getenv(kHostParamsEnv);
    return host != nullptr ? host : "";
}

}  // namespace

std::string session_settings(const Options &o) { return session_settings(o, host_settings()); }

std::string session_settings(const Options &o, const std::string &host) {
    std::string all = kLibrarySessionParams;
    append(all, host);
    append(all, session_params(o));
    return all;
}

void give_session_settings(const Options &o) {
    const std::string ours = session_params(o);
    if (ours.empty()) return;
    std::string all = host_settings();
    append(all, ours);
    ::setenv(kHostParamsEnv, all.c_str(), 1);
}

int session_sample_rate(const Options &o) { return sample_rate_of(session_settings(o)); }

int sample_rate_of(const std::string &settings) {
    std::vector<speech::Param> list;
    if (!speech::parse_param_list(settings, list)) return kDefaultRate;
    const std::string *rate = speech::find_param(list, "sample_rate");
    return rate != nullptr && *rate == "8000" ? 8000 : kDefaultRate;
}

}  // namespace tts_say
