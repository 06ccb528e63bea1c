/* SPDX-License-Identifier: Apache-2.0 */
/*
 * tts: turn a text into spoken audio stored as a WAV file.
 *
 * The library does no synthesis itself: it drives a speech service library
 * (MSPLogin, QTTSSessionBegin, QTTSTextPut, QTTSAudioGet, QTTSSessionEnd,
 * MSPLogout) that must already be present in the host process's global
 * symbol scope, for instance because the host links against it.
 */
#ifndef TTS_H
#define TTS_H

#include <stdint.h>

#if defined(TTS_BUILDING_LIBRARY)
#define TTS_API __attribute__((visibility("default")))
#else
#define TTS_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The 44-byte RIFF/WAVE header of a PCM file, field by field in file order.
 * In memory the numbers are in host byte order; the library stores them
 * little-endian when it writes the file. The tags carry no terminator.
 */
typedef struct wav_hdr {
    char riff_tag[4];         /* "RIFF" */
    uint32_t riff_size;       /* bytes of the RIFF chunk after this field */
    char wave_tag[4];         /* "WAVE" */
    char fmt_tag[4];          /* "fmt " */
    uint32_t fmt_size;        /* 16: size of the format chunk's body */
    uint16_t format_tag;      /* 1: PCM */
    uint16_t channels;        /* 1: mono */
    uint32_t sample_rate;     /* 16000 samples per second */
    uint32_t byte_rate;       /* 32000 bytes per second */
    uint16_t block_align;     /* 2 bytes per sample frame */
    uint16_t bits_per_sample; /* 16 */
    char data_tag[4];         /* "data" */
    uint32_t data_size;       /* bytes of audio after the header */
} wav_hdr;

#if defined(__cplusplus) && __cplusplus >= 201103L
static_assert(sizeof(wav_hdr) == 44, "wav_hdr must be exactly 44 bytes");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(wav_hdr) == 44, "wav_hdr must be exactly 44 bytes");
#else
typedef char wav_hdr_must_be_44_bytes[sizeof(wav_hdr) == 44 ? 1 : -1];
#endif

/*
 * The header template: "RIFF", 0, "WAVE", "fmt ", 16, 1, 1, 16000, 32000,
 * 2, 16, "data", 0. Every call of text_to_speech copies it first and writes
 * that copy, so a host that changes it changes the header of later calls;
 * each call adds its own sizes to the size fields found here. The library
 * never writes it.
 */
extern TTS_API wav_hdr default_wav_hdr;

/*
 * Speaks `text` (UTF-8, null-terminated; may be empty) through the speech
 * service and writes the audio to `path` (created or truncated) as 16 kHz
 * 16-bit mono PCM WAV. `params` must not be null but is not read: the voice
 * and audio settings are fixed.
 *
 * The call is synchronous and talks on the console: it prints its progress
 * and errors on standard output (which it never flushes), one ">" for each
 * pause while waiting for audio, and, unless an argument was null, ends by
 * printing "按任意键退出 ..." and reading one character from standard input
 * before it logs out of the service.
 *
 * Returns -1 if an argument is null, the login fails, the file cannot be
 * opened, or the file could not be written completely; the speech service's
 * code if fetching audio failed; otherwise the code that ending the session
 * returned (0 on success).
 */
TTS_API int text_to_speech(const char *text, const char *path, const char *params);

#ifdef __cplusplus
}
#endif

#endif /* TTS_H */
