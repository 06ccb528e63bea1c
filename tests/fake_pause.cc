// SPDX-License-Identifier: Apache-2.0
// Linked beside the fake service: the library's pauses are recorded as
// calls, not waited for.
#include <unistd.h>

#include <string>

#include "fake_service.h"

extern "C" int usleep(useconds_t usec) {
    fake::record_call("usleep(" + std::to_string(usec) + ")");
    return 0;
}
