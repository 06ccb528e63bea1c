/* SPDX-License-Identifier: Apache-2.0 */
/* A host that does not link the speech service at build time: it loads the
 * service into the global symbol scope first, so that libtts finds the six
 * service functions there, and then loads libtts itself.
 *
 *   cc dlopen.c -o dlopen -ldl
 *   ./dlopen "你好" out.wav [SERVICE_LIBRARY [TTS_LIBRARY]] < /dev/null
 */
#include <dlfcn.h>
#include <stdio.h>

typedef int (*text_to_speech_fn)(const char *, const char *, const char *);

int main(int argc, char **argv) {
    if (argc < 3 || argc > 5) {
        fprintf(stderr, "usage: %s TEXT FILE [SERVICE_LIBRARY [TTS_LIBRARY]]\n", argv[0]);
        return 2;
    }
    const char *service_path = argc > 3 ? argv[3] : "libspeech_service.so.1";
    const char *tts_path = argc > 4 ? argv[4] : "libtts.so.1";

    void *service = dlopen(service_path, RTLD_NOW | RTLD_GLOBAL);
    if (service == NULL) {
        fprintf(stderr, "cannot load the speech service: %s\n", dlerror());
        return 1;
    }
    void *tts = dlopen(tts_path, RTLD_NOW);
    if (tts == NULL) {
        fprintf(stderr, "cannot load libtts: %s\n", dlerror());
        dlclose(service);
        return 1;
    }
    text_to_speech_fn speak;
    *(void **)&speak = dlsym(tts, "text_to_speech");
    int rc = speak != NULL ? speak(argv[1], argv[2], "") : -1;
    fflush(stdout);
    fprintf(stderr, "text_to_speech returned %d\n", rc);
    dlclose(tts);
    dlclose(service);
    return rc == 0 ? 0 : 1;
}
