// SPDX-License-Identifier: Apache-2.0
// Interposes fopen, fwrite, fseek and fclose in the test executable, so that
// the library's calls on its output file can be made to fail one at a time.
// Only fopen in mode "wb" and the calls on the stream it opened are counted;
// everything else passes through untouched.
#ifndef TTS_TESTS_FAILING_STDIO_H
#define TTS_TESTS_FAILING_STDIO_H

namespace failing_stdio {

enum class Op { none, fopen, fwrite, fseek, fclose };

// Makes the `nth` counted call (1-based) of `op` fail; clears all counts.
void arm(Op op, int nth);
void disarm();
// Counted calls of `op` since the last arm or disarm.
int calls(Op op);

}  // namespace failing_stdio

#endif  // TTS_TESTS_FAILING_STDIO_H
