/* SPDX-License-Identifier: Apache-2.0 */
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

/*
 * Error codes of this service library: a stable list, never renumbered.
 * 0 is success; every other code has a message from
 * speech_service_error_text().
 */
#define SPEECH_SERVICE_ERRORS(X)                                                          \
    X(SPEECH_OK, 0, "success")                                                            \
    X(SPEECH_ERR_NULL_ARGUMENT, 21001, "a required argument is null")                    \
    X(SPEECH_ERR_MALFORMED_PARAMS, 21002, "the parameter list is malformed")             \
    X(SPEECH_ERR_BAD_APPID, 21003, "appid is missing or not 8 lowercase hexadecimal digits") \
    X(SPEECH_ERR_BAD_WORK_DIR, 21004, "work_dir is missing or not an existing directory") \
    X(SPEECH_ERR_NOT_LOGGED_IN, 21005, "not logged in")                                  \
    X(SPEECH_ERR_UNKNOWN_VOICE, 21006, "unknown voice")                                  \
    X(SPEECH_ERR_BAD_ENCODING, 21007, "unsupported text encoding (only utf8)")           \
    X(SPEECH_ERR_BAD_SAMPLE_RATE, 21008, "unsupported sample rate (16000 or 8000)")      \
    X(SPEECH_ERR_OUT_OF_RANGE, 21009, "a parameter value is out of range")               \
    X(SPEECH_ERR_INVALID_HANDLE, 21010, "not a live session handle")                     \
    X(SPEECH_ERR_INVALID_TEXT, 21011, "the text is not valid UTF-8 or contains a NUL byte") \
    X(SPEECH_ERR_TEXT_ALREADY_PUT, 21012, "the session already has its text")            \
    X(SPEECH_ERR_NO_TEXT, 21013, "no text has been put to the session")                  \
    X(SPEECH_ERR_ENGINE_START, 21014, "the speech engine could not be started")          \
    X(SPEECH_ERR_ENGINE_FAILED, 21015, "the speech engine reported an error")            \
    X(SPEECH_ERR_ENGINE_CRASHED, 21016, "the speech engine crashed or was killed")       \
    X(SPEECH_ERR_ENGINE_TIMEOUT, 21017, "the speech engine stopped responding")          \
    X(SPEECH_ERR_ENGINE_OUTPUT, 21018, "the speech engine produced invalid output")      \
    X(SPEECH_ERR_OUT_OF_MEMORY, 21019, "out of memory")                                  \
    X(SPEECH_ERR_SYSTEM, 21020, "a system resource could not be obtained")                \
    X(SPEECH_ERR_BAD_SSML, 21021, "the SSML document is malformed or asks for what is refused") \
    X(SPEECH_ERR_BAD_LEXICON, 21022, "a pronunciation lexicon could not be read")      \
    X(SPEECH_ERR_AUDIO_TOO_LONG, 21023, "the text asks for more audio than max_audio_seconds allows")

enum speech_service_error {
#define SPEECH_SERVICE_ERROR_ENUM(name, code, message) name = code,
    SPEECH_SERVICE_ERRORS(SPEECH_SERVICE_ERROR_ENUM)
#undef SPEECH_SERVICE_ERROR_ENUM
};

/* The message of an error code ("unknown error code" for any other value).
 * The string is static. */
SPEECH_SERVICE_API const char *speech_service_error_text(int code);

/*
 * Parameters.
 *
 * Lists are written as "key = value, key = value"; any blanks may surround
 * "=" and ",". Unknown keys are ignored.
 *
 * Login: appid (8 lowercase hexadecimal digits) and work_dir (an existing
 * directory) are required.
 *
 * Session:
 *   voice_name     xiaoxin (Mandarin, the default: the text is read by the
 *                  service's Mandarin front end, see speech_service_reading)
 *                  or an engine voice file name such as en, yue, de (the
 *                  text goes to the engine as it is)
 *   text_encoding  utf8 (the default and the only one)
 *   sample_rate    16000 (default) or 8000
 *   speed          0..100, default 50: 0..50 maps linearly onto 80..175
 *                  words per minute, 50..100 onto 175..450
 *   volume         0..100, default 50: maps linearly onto amplitude 0..200
 *                  (100 is the engine's normal)
 *   pitch          0..100, default 50: the engine's pitch 0..100 unchanged
 *   rdn            0 (default) numbers read by their context (values,
 *                  dates, times, phone numbers digit by digit, ...),
 *                  1 numbers read as values, 2 digits read one by one
 *   show_readers   0 (default) or 1: speech_service_reading adds to each
 *                  line a tab and who decided the reading: for Han text one
 *                  word a syllable (word, derived, char, rule, tone, model;
 *                  ":syllable=p" where the polyphone model was asked and
 *                  its reading not taken, "=p" its probability), "text"
 *                  for pinyin the text gives, "number", or "-"; a table
 *                  whose polyphones had no model (mandarin-polyphones.bin
 *                  missing beside the lexicon) opens with the line
 *                  "\tno polyphone model: polyphones read by the rules only"
 *   text_type      ssml or text; by default a text whose first characters
 *                  (after a byte-order mark and an XML declaration) are
 *                  "<speak" is SSML
 *   lexicons       pronunciation lexicon files (PLS, alphabet x-pinyin),
 *                  colon-separated, read after SPEECH_SERVICE_LEXICONS
 *   max_audio_seconds  1..86400, default 3600: the most audio one text may
 *                  ask for; a text whose pauses and speech would exceed it
 *                  is refused by QTTSTextPut with 21023 before any is made,
 *                  and a synthesis that reaches it ends with 21023
 *
 * voice_name accepts exactly the voices the engine can load (those
 * speech_service_voices lists, and the engine's own voice names for them);
 * variant files and voices of an add-on synthesiser that is not installed
 * are refused with 21006.
 *
 * Audio is 16-bit signed little-endian mono PCM at the session's rate.
 *
 * Environment: SPEECH_SERVICE_ENGINE names another engine helper program;
 * SPEECH_SERVICE_ENGINE_TIMEOUT_MS bounds how long the helper may go
 * without progress (default 30000, at most 86400000: larger values are
 * taken as one day).
 *
 * SPEECH_SERVICE_SESSION_PARAMS: session parameters of the host, such as
 * "voice_name = en, speed = 70". They take precedence over the parameters
 * given to QTTSSessionBegin (a host whose client library always sends the
 * same list sets its own this way). The list is parsed and validated like
 * the session's own: a malformed list or a bad value makes every
 * QTTSSessionBegin fail with the code that the same pair would get there
 * (21002 malformed, 21006 voice, 21007 encoding, 21008 sample rate, 21009
 * range). It is read at every session begin.
 *
 * SPEECH_SERVICE_ENGINE_STDERR=inherit
 * lets the helper write on the host's standard error (for debugging; it
 * otherwise writes into a pipe of the service, see
 * speech_service_last_engine_error()).
 *
 * The warm engine: each session runs in a helper process of its own, and
 * the service keeps one more helper started and initialised ahead of need,
 * so that the next session only synthesises. It is started when the helper
 * of a session is done; it is ended after an idle time, when the service is
 * unloaded or the process exits (and dies with the process if it is
 * killed); a forked child never uses or ends it. It costs one process and
 * about 10 MiB while the host is idle.
 * SPEECH_SERVICE_WARM_ENGINE=0 turns it off (every session then starts its
 * helper); SPEECH_SERVICE_WARM_IDLE_MS sets the idle time in milliseconds
 * (default 60000; 0 turns it off too). Both are read at each session begin.
 *
 * SPEECH_SERVICE_LEXICON names another compiled Mandarin lexicon (by
 * default mandarin.lex beside the helper).
 * SPEECH_SERVICE_POLYPHONE_MODEL names another polyphone model (by default
 * mandarin-polyphones.bin beside the lexicon); without one, polyphonic
 * characters are read by the rules alone (see show_readers).
 *
 * SPEECH_SERVICE_LEXICONS: the host's pronunciation lexicons, a
 * colon-separated list of files. Their entries win over the built-in
 * lexicon, longest first. A lexicon that cannot be read or does not parse
 * fails QTTSSessionBegin (and speech_service_reading) with 21022.
 *
 * SSML that is not well-formed, has a bad attribute value or names a
 * lexicon the host did not register fails QTTSTextPut (and
 * speech_service_reading) with 21021; nothing is spoken.
 */

/* The reading of `text_len` bytes of UTF-8 `text` under the session
   parameters `params` (the keys of QTTSSessionBegin; no login needed):
   returns 0 and a table in *reading, a NUL-terminated string that the
   caller frees with speech_service_free(), or an error code. */
SPEECH_SERVICE_API int speech_service_reading(const char *params, const char *text,
                                              unsigned int text_len, char **reading);

/* The last line that the engine helper of the last session that failed on
 * the calling thread wrote on its standard error ("" if none): the engine's
 * own account of a failure; or why the voice xiaoxin could not begin (its
 * Mandarin lexicon is missing). The string stays valid until the next failed
 * fetch on this thread. */
SPEECH_SERVICE_API const char *speech_service_last_engine_error(void);

/* Why the last SSML document or lexicon refused on the calling thread was
 * refused, with its line and column (and the lexicon's file), or what the
 * last document accepted on this thread asked for that was not followed
 * (a phoneme in another alphabet); "" if neither. The string stays valid
 * until the next call on this thread that reads a text or a lexicon. */
SPEECH_SERVICE_API const char *speech_service_last_markup_message(void);

/* Frees memory that the service handed to the caller (a reading table,
 * a voice list). A null pointer is ignored. */
SPEECH_SERVICE_API void speech_service_free(void *p);

/* Lists the voices that voice_name accepts by their file names, one
 * "name\tlanguage\n" line each, the service's own voice (xiaoxin) first,
 * then the engine's voices sorted by name; the language is the first one
 * the voice names. On success stores a NUL-terminated list, to be freed
 * with speech_service_free, in *list and returns 0; otherwise stores null
 * and returns an error code. */
SPEECH_SERVICE_API int speech_service_voices(char **list);

/* Logs in; returns 0 when logged in, a nonzero error code otherwise. */
SPEECH_SERVICE_API int MSPLogin(const char *usr, const char *pwd, const char *params);

/* Begins a synthesis session; returns its handle (null on failure) and
 * stores 0 or an error code in *error_code. A handle is never given to
 * another session, even long after it has been ended, and reads as an
 * empty string. After a failed begin, the other calls on the null handle
 * in the same thread return that begin's error code instead of 21010,
 * until the null handle is ended or a begin succeeds. */
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

/* Releases one login; returns 0, or 21005 when there is none. After the
 * last logout new sessions are refused, while sessions begun before it go
 * on until they are ended. */
SPEECH_SERVICE_API int MSPLogout(void);

#ifdef __cplusplus
}
#endif

#endif /* SPEECH_SERVICE_H */
