/*
 * speech_service: the six client calls through which libtts drives a
 * speech service. Any library that provides these six functions with these
 * signatures can serve libtts.
 */
#ifndef SPEECH_SERVICE_H
#define SPEECH_SERVICE_H

#if defined(SPEECH_SERVICE_BUILDING_LIBRARY)
#define SPEECH_SERVICE_API __attribute__((visibility("default")))
#else
#define SPEECH_SERVICE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Logs in; returns 0 when logged in, a nonzero error code otherwise. */
SPEECH_SERVICE_API int MSPLogin(const char *usr, const char *pwd, const char *params);

/* Begins a synthesis session; returns its handle (null on failure) and
 * stores 0 or an error code in *error_code. */
SPEECH_SERVICE_API const char *QTTSSessionBegin(const char *params, int *error_code);

/* Submits `text_len` bytes of text to the session; returns 0 or an error code. */
SPEECH_SERVICE_API int QTTSTextPut(const char *session, const char *text,
                                   unsigned int text_len, const char *params);

/* Fetches the audio produced since the last fetch. Returns the block (or
 * null when there is none yet) and stores its length in *audio_len; stores
 * 2 in *synth_status when no further audio follows, 1 otherwise, and 0 or
 * an error code in *error_code. The block stays valid until the next call
 * on the session. */
SPEECH_SERVICE_API const void *QTTSAudioGet(const char *session, unsigned int *audio_len,
                                            int *synth_status, int *error_code);

/* Ends the session and frees it; returns 0 or an error code. */
SPEECH_SERVICE_API int QTTSSessionEnd(const char *session, const char *hint);

/* Logs out; returns 0 or an error code. */
SPEECH_SERVICE_API int MSPLogout(void);

#ifdef __cplusplus
}
#endif

#endif /* SPEECH_SERVICE_H */
