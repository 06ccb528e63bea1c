# SPDX-License-Identifier: Apache-2.0
"""The project's shared libraries as the benchmarks call them, by ctypes."""

import ctypes
import os


def load_tts(libdir):
    """libtts with the service it drives loaded first, for text_to_speech."""
    ctypes.CDLL(os.path.join(libdir, "libspeech_service.so.1"), mode=ctypes.RTLD_GLOBAL)
    tts = ctypes.CDLL(os.path.join(libdir, "libtts.so.1"))
    tts.text_to_speech.argtypes = [ctypes.c_char_p] * 3
    tts.text_to_speech.restype = ctypes.c_int
    return tts


def load_reading(libdir):
    """The service, for speech_service_reading and speech_service_free."""
    lib = ctypes.CDLL(os.path.join(libdir, "libspeech_service.so.1"))
    lib.speech_service_reading.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_uint,
                                           ctypes.POINTER(ctypes.c_void_p)]
    lib.speech_service_reading.restype = ctypes.c_int
    lib.speech_service_free.argtypes = [ctypes.c_void_p]
    return lib
