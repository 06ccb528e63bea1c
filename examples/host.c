/* SPDX-License-Identifier: Apache-2.0 */
/* The smallest host: links libtts and the speech service, speaks its
 * argument into a file and reports the result code.
 *
 *   cc host.c -o host $(pkg-config --cflags --libs tts)
 *   ./host "你好，世界" hello.wav < /dev/null
 */
#include <stdio.h>

#include "tts.h"

int main(int argc, char **argv) {
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: %s TEXT [FILE]\n", argv[0]);
        return 2;
    }
    const char *path = argc == 3 ? argv[2] : "host.wav";
    int rc = text_to_speech(argv[1], path, "");
    fflush(stdout); /* the library never flushes */
    fprintf(stderr, "text_to_speech returned %d\n", rc);
    return rc == 0 ? 0 : 1;
}
