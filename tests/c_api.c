/* SPDX-License-Identifier: Apache-2.0 */
/* A C99 host of the public header: it must compile with -std=c99 -pedantic
 * -Werror, link against libtts.so, and see the layout and template that the
 * library exports. The six service functions are trivial stand-ins. */
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "tts.h"

int MSPLogin(const char *usr, const char *pwd, const char *params) { (void)usr; (void)pwd; (void)params; return 1; }
const char *QTTSSessionBegin(const char *params, int *error_code) { (void)params; (void)error_code; return NULL; }
int QTTSTextPut(const char *session, const char *text, unsigned int text_len, const char *params) {
    (void)session; (void)text; (void)text_len; (void)params; return 0;
}
const void *QTTSAudioGet(const char *session, unsigned int *audio_len, int *synth_status, int *error_code) {
    (void)session; (void)audio_len; (void)error_code; *synth_status = 2; return NULL;
}
int QTTSSessionEnd(const char *session, const char *hint) { (void)session; (void)hint; return 0; }
int MSPLogout(void) { return 0; }

#define CHECK(cond) do { if (!(cond)) { fprintf(stderr, "failed: %s\n", #cond); return 1; } } while (0)

int main(void) {
    CHECK(sizeof(wav_hdr) == 44);
    CHECK(offsetof(wav_hdr, riff_size) == 4);
    CHECK(offsetof(wav_hdr, fmt_size) == 16);
    CHECK(offsetof(wav_hdr, sample_rate) == 24);
    CHECK(offsetof(wav_hdr, block_align) == 32);
    CHECK(offsetof(wav_hdr, data_tag) == 36);
    CHECK(offsetof(wav_hdr, data_size) == 40);
    CHECK(memcmp(default_wav_hdr.riff_tag, "RIFF", 4) == 0);
    CHECK(memcmp(default_wav_hdr.fmt_tag, "fmt ", 4) == 0);
    CHECK(default_wav_hdr.sample_rate == 16000 && default_wav_hdr.byte_rate == 32000);
    CHECK(default_wav_hdr.bits_per_sample == 16 && default_wav_hdr.channels == 1);
    default_wav_hdr.sample_rate = 8000; /* the template is writable */
    CHECK(text_to_speech("t", "out.wav", NULL) == -1);
    return 0;
}
