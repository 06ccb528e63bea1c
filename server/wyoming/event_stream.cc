// SPDX-License-Identifier: Apache-2.0
#include "wyoming/event_stream.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace tts_server::wyoming {
namespace {

constexpr std::size_t kReadBlock = 64 * 1024;

// A length field: absent or null is 0; otherwise a whole number up to `max`.
bool take_length(const nlohmann::json &header, const char *field, std::size_t max, std::size_t &out,
                 std::string &why) {
    out = 0;
    const auto it = header.find(field);
    if (it == header.end() || it->is_null()) return true;
    if (!it->is_number_unsigned() && !(it->is_number_integer() && it->get<long long>() >= 0)) {
        why = std::string(field) + " must be a whole number of bytes";
        return false;
    }
    const auto n = it->get<unsigned long long>();
    if (n > max) {
        why = std::string(field) + " " + std::to_string(n) + " is over the limit of " + std::to_string(max);
        return false;
    }
    out = static_cast<std::size_t>(n);
    return true;
}

}  // namespace

EventReader::Fill EventReader::fill(std::size_t n, std::chrono::milliseconds idle) {
    while (buffer_.size() - start_ < n) {
        if (start_ > 0 && start_ * 2 >= buffer_.size()) {
            buffer_.erase(0, start_);
            start_ = 0;
        }
        pollfd p = {fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(idle.count()));
        if (ready == 0) return Fill::kTimeout;
        if (ready < 0) {
            if (errno == EINTR) continue;
            return Fill::kError;
        }
        const std::size_t old = buffer_.size();
        buffer_.resize(old + kReadBlock);
        const ssize_t got = ::recv(fd_, &buffer_[old], kReadBlock, 0);
        buffer_.resize(old + (got > 0 ? static_cast<std::size_t>(got) : 0));
        if (got == 0) return Fill::kClosed;
        if (got < 0 && errno != EINTR && errno != EAGAIN) return Fill::kError;
    }
    return Fill::kOk;
}

ReadStatus EventReader::malformed(std::string why) {
    error_ = std::move(why);
    return ReadStatus::kMalformed;
}

ReadStatus EventReader::read(Event &event, std::chrono::milliseconds idle) {
    // The header line, never longer than its limit.
    std::size_t eol;
    while ((eol = buffer_.find('\n', start_)) == std::string::npos) {
        if (buffer_.size() - start_ >= limits_.line)
            return malformed("the header line is longer than " + std::to_string(limits_.line) + " bytes");
        const bool empty = buffer_.size() == start_;
        switch (fill(buffer_.size() - start_ + 1, idle)) {
            case Fill::kOk: break;
            case Fill::kTimeout: return empty ? ReadStatus::kTimeout : malformed("the header line was not finished in time");
            case Fill::kClosed:
            case Fill::kError: return empty ? ReadStatus::kClosed : malformed("the connection ended inside an event");
        }
    }
    if (eol - start_ + 1 > limits_.line)
        return malformed("the header line is longer than " + std::to_string(limits_.line) + " bytes");
    const nlohmann::json header = nlohmann::json::parse(buffer_.begin() + static_cast<std::ptrdiff_t>(start_),
                                                        buffer_.begin() + static_cast<std::ptrdiff_t>(eol), nullptr, false);
    start_ = eol + 1;
    if (header.is_discarded() || !header.is_object()) return malformed("the header line is not a JSON object");
    const auto type = header.find("type");
    if (type == header.end() || !type->is_string() || type->get_ref<const std::string &>().empty())
        return malformed("the header has no type");
    const auto data = header.find("data");
    if (data != header.end() && !data->is_null() && !data->is_object()) return malformed("data must be an object");
    std::size_t data_length = 0;
    std::size_t payload_length = 0;
    std::string why;
    if (!take_length(header, "data_length", limits_.data, data_length, why) ||
        !take_length(header, "payload_length", limits_.payload, payload_length, why))
        return malformed(why);

    switch (fill(data_length + payload_length, idle)) {
        case Fill::kOk: break;
        case Fill::kTimeout: return malformed("the event was not finished in time");
        case Fill::kClosed:
        case Fill::kError: return malformed("the connection ended inside an event");
    }
    event.type = type->get<std::string>();
    event.data = data != header.end() && data->is_object() ? *data : nlohmann::json::object();
    if (data_length > 0) {
        const auto first = buffer_.begin() + static_cast<std::ptrdiff_t>(start_);
        const nlohmann::json extra = nlohmann::json::parse(first, first + static_cast<std::ptrdiff_t>(data_length), nullptr, false);
        if (extra.is_discarded() || !extra.is_object()) return malformed("the additional data is not a JSON object");
        event.data.update(extra);
    }
    event.payload.assign(buffer_, start_ + data_length, payload_length);
    start_ += data_length + payload_length;
    return ReadStatus::kEvent;
}

std::string encode_event(const std::string &type, const nlohmann::json &data, const std::string &payload) {
    nlohmann::json header = {{"type", type}};
    if (!data.empty()) header["data"] = data;
    if (!payload.empty()) header["payload_length"] = payload.size();
    std::string out = header.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    out += '\n';
    out += payload;
    return out;
}

}  // namespace tts_server::wyoming
