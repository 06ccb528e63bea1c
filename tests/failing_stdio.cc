// SPDX-License-Identifier: Apache-2.0
#include "failing_stdio.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace failing_stdio {
namespace {

Op g_op = Op::none;
int g_nth = 0;
int g_calls[5] = {};

template <typename F>
F real(const char *name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// The stream of the last fopen in mode "wb": the library's output file.
// Streams of others (the C++ library closes its file streams with fclose)
// are neither counted nor failed.
std::FILE *g_output = nullptr;

bool counted(std::FILE *f) { return f != nullptr && f == g_output; }

// Counts the call and tells whether it is the one to fail.
bool should_fail(Op op) {
    const int n = ++g_calls[static_cast<int>(op)];
    return g_op == op && n == g_nth;
}

}  // namespace

void arm(Op op, int nth) {
    g_op = op;
    g_nth = nth;
    std::memset(g_calls, 0, sizeof g_calls);
}

void disarm() { arm(Op::none, 0); }

int calls(Op op) { return g_calls[static_cast<int>(op)]; }

}  // namespace failing_stdio

using failing_stdio::Op;

extern "C" std::FILE *fopen(const char *path, const char *mode) {
    static auto next = failing_stdio::real<std::FILE *(*)(const char *, const char *)>("fopen");
    if (std::strcmp(mode, "wb") == 0 && failing_stdio::should_fail(Op::fopen)) {
        errno = EACCES;
        return nullptr;
    }
    std::FILE *f = next(path, mode);
    if (std::strcmp(mode, "wb") == 0) failing_stdio::g_output = f;
    return f;
}

extern "C" size_t fwrite(const void *data, size_t size, size_t count, std::FILE *f) {
    static auto next = failing_stdio::real<size_t (*)(const void *, size_t, size_t, std::FILE *)>("fwrite");
    if (failing_stdio::counted(f) && failing_stdio::should_fail(Op::fwrite)) {
        errno = EIO;
        return 0;
    }
    return next(data, size, count, f);
}

extern "C" int fseek(std::FILE *f, long offset, int whence) {
    static auto next = failing_stdio::real<int (*)(std::FILE *, long, int)>("fseek");
    if (failing_stdio::counted(f) && failing_stdio::should_fail(Op::fseek)) {
        errno = EIO;
        return -1;
    }
    return next(f, offset, whence);
}

// A failing close still releases the stream, as a real fclose does.
extern "C" int fclose(std::FILE *f) {
    static auto next = failing_stdio::real<int (*)(std::FILE *)>("fclose");
    const bool fail = failing_stdio::counted(f) && failing_stdio::should_fail(Op::fclose);
    if (failing_stdio::counted(f)) failing_stdio::g_output = nullptr;
    const int rc = next(f);
    if (fail) {
        errno = EIO;
        return EOF;
    }
    return rc;
}
