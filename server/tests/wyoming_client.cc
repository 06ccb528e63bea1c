// SPDX-License-Identifier: Apache-2.0
#include "wyoming_client.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

namespace server_test {

bool WyomingClient::send(const std::string &type, const nlohmann::json &data) {
    const std::string extra = data.empty() ? "" : data.dump();
    nlohmann::json header = {{"type", type}};
    if (!extra.empty()) header["data_length"] = extra.size();
    return conn_.send(header.dump() + "\n" + extra);
}

std::string WyomingClient::take(std::size_t n, int ms) {
    if (buffer_.size() < n) buffer_ += conn_.read_some(n - buffer_.size(), ms);
    if (buffer_.size() < n) return {};
    std::string out = buffer_.substr(0, n);
    buffer_.erase(0, n);
    return out;
}

std::optional<WyomingEvent> WyomingClient::next(int ms) {
    std::size_t eol;
    while ((eol = buffer_.find('\n')) == std::string::npos) {
        // Whatever has come, as soon as something has.
        pollfd p = {conn_.fd(), POLLIN, 0};
        char buf[65536];
        if (conn_.fd() < 0 || poll(&p, 1, ms) != 1) return std::nullopt;
        const ssize_t n = recv(conn_.fd(), buf, sizeof buf, 0);
        if (n <= 0) return std::nullopt;
        buffer_.append(buf, static_cast<std::size_t>(n));
    }
    const nlohmann::json header = nlohmann::json::parse(buffer_.substr(0, eol), nullptr, false);
    buffer_.erase(0, eol + 1);
    if (!header.is_object() || !header.contains("type")) return std::nullopt;
    WyomingEvent e;
    e.type = header["type"];
    if (header.contains("data") && header["data"].is_object()) e.data = header["data"];
    const std::size_t data_length = header.value("data_length", std::size_t{0});
    const std::size_t payload_length = header.value("payload_length", std::size_t{0});
    if (data_length > 0) {
        const std::string extra = take(data_length, ms);
        if (extra.size() != data_length) return std::nullopt;
        e.data.update(nlohmann::json::parse(extra));
    }
    e.payload = take(payload_length, ms);
    if (e.payload.size() != payload_length) return std::nullopt;
    return e;
}

bool WyomingClient::closed(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    char buf[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        pollfd p = {conn_.fd(), POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) != 1) return false;
        const ssize_t n = recv(conn_.fd(), buf, sizeof buf, 0);
        if (n == 0) return true;
        if (n < 0) return errno == ECONNRESET;
    }
}

AudioRound read_round(WyomingClient &client) {
    AudioRound r;
    auto e = client.next();
    if (e && e->type == "error") {
        r.error = e->data.value("code", "?");
        return r;
    }
    if (!e || e->type != "audio-start") {
        r.error = e ? "unexpected " + e->type : "no answer";
        return r;
    }
    r.format = e->data;
    while ((e = client.next()) && e->type == "audio-chunk") {
        r.audio += e->payload;
        if (e->data != r.format) r.chunk_formats_agree = false;
    }
    if (!e || e->type != "audio-stop") r.error = e ? (e->type == "error" ? e->data.value("code", "?") : "unexpected " + e->type) : "cut short";
    return r;
}

}  // namespace server_test
