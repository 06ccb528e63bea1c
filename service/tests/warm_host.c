/* SPDX-License-Identifier: Apache-2.0 */
/* A host for the warm engine tests: speaks two texts (which leaves a ready
 * helper behind), forks a child that holds the host's descriptors (so that
 * the helper's input stays open when the host dies), says "ready" with the
 * child's process id and waits to be killed. */
#include <stdio.h>
#include <unistd.h>

#include "speech_service.h"

int main(void) {
    if (MSPLogin(NULL, NULL, "appid = 7c2e94b0, work_dir = .") != 0) return 1;
    for (int i = 0; i < 2; ++i) {
        int code = -1, status = 0;
        unsigned len = 0;
        const char *h = QTTSSessionBegin("", &code);
        if (h == NULL || QTTSTextPut(h, "\xe4\xbd\xa0\xe5\xa5\xbd", 6, NULL) != 0) return 1;
        do {
            QTTSAudioGet(h, &len, &status, &code);
        } while (code == 0 && status != 2);
        if (code != 0 || QTTSSessionEnd(h, NULL) != 0) return 1;
    }
    if (MSPLogout() != 0) return 1;
    const pid_t child = fork();
    if (child < 0) return 1;
    if (child == 0) {
        for (;;) pause();
    }
    printf("ready %d\n", (int)child);
    fflush(stdout);
    for (;;) pause();
}
