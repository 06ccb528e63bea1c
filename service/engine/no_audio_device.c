/* SPDX-License-Identifier: Apache-2.0 */
/* A stand-in for the audio output library that the engine's library is
 * linked against. The helper only ever asks the engine for samples through
 * its callback and never opens an audio device, yet the real library pulls
 * some thirty sound, desktop and compression libraries into every helper:
 * each start loads and relocates them, and each request's child copies and
 * tears down their mappings. The helper finds this library first (engine
 * build files: an RPATH, which also serves a library's own dependencies).
 * Should the engine ever ask for a device, it is told there is none. */
#include <stddef.h>
#include <stdint.h>

#define TTS_STAND_IN __attribute__((visibility("default")))

struct audio_object;

TTS_STAND_IN struct audio_object *create_audio_device_object(const char *device, const char *application,
                                                             const char *description) {
    (void)device;
    (void)application;
    (void)description;
    return NULL;
}

TTS_STAND_IN int audio_object_open(struct audio_object *object, int format, uint32_t rate, uint8_t channels) {
    (void)object;
    (void)format;
    (void)rate;
    (void)channels;
    return -1;
}

TTS_STAND_IN void audio_object_close(struct audio_object *object) { (void)object; }

TTS_STAND_IN void audio_object_destroy(struct audio_object *object) { (void)object; }

TTS_STAND_IN int audio_object_write(struct audio_object *object, const void *data, size_t bytes) {
    (void)object;
    (void)data;
    (void)bytes;
    return -1;
}

TTS_STAND_IN int audio_object_drain(struct audio_object *object) {
    (void)object;
    return 0;
}

TTS_STAND_IN int audio_object_flush(struct audio_object *object) {
    (void)object;
    return 0;
}

TTS_STAND_IN const char *audio_object_strerror(struct audio_object *object, int error) {
    (void)object;
    (void)error;
    return "the speech helper has no audio device";
}
