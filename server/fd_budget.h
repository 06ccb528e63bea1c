// SPDX-License-Identifier: Apache-2.0
// How many connections the process's descriptor limit has room for. Past
// it, accept() fails at once on every try and the listening thread spins;
// below it, the HTTP daemon stops accepting at its own limit instead, and
// takes connections again as others close.
#ifndef TTS_SERVER_FD_BUDGET_H
#define TTS_SERVER_FD_BUDGET_H

namespace tts_server {

// `wanted`, or fewer if the descriptors open now, `reserved` more for the
// rest of the process's work, and one per connection would pass the limit
// (at least 1).
unsigned connections_within_fd_limit(unsigned wanted, unsigned reserved);

}  // namespace tts_server

#endif  // TTS_SERVER_FD_BUDGET_H
