#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Checks what libtts.so shows a host: exactly two exported symbols, the
# template a writable 44-byte object, only the C runtime needed, no code run
# at load, and the six speech service functions left unresolved.
set -eu
lib=$1
fail() { echo "FAIL: $*" >&2; exit 1; }

defined=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort | tr '\n' ' ')
[ "$defined" = "default_wav_hdr text_to_speech " ] || fail "exported symbols: $defined"

nm -D --defined-only "$lib" | grep -q ' D default_wav_hdr$' || fail "default_wav_hdr is not writable data"
readelf -W --dyn-syms "$lib" | awk '$8 == "default_wav_hdr" && $4 == "OBJECT" && $3 == 44 {found=1} END {exit !found}' \
  || fail "default_wav_hdr is not a 44-byte object"

dynamic=$(readelf -d "$lib")
needed=$(echo "$dynamic" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')
[ "$needed" = "libc.so.6 " ] || fail "needed libraries: $needed"
echo "$dynamic" | grep -q 'Library soname: \[libtts.so.1\]' || fail "SONAME is not libtts.so.1"
! echo "$dynamic" | grep -Eq '\((INIT|INIT_ARRAY|FINI|FINI_ARRAY|PREINIT_ARRAY)\)' \
  || fail "the library runs code when loaded or unloaded"

unresolved=$(nm -D --undefined-only "$lib" | awk '$1 == "U" && $2 !~ /@GLIBC_/ {print $2}' | sort | tr '\n' ' ')
[ "$unresolved" = "MSPLogin MSPLogout QTTSAudioGet QTTSSessionBegin QTTSSessionEnd QTTSTextPut " ] \
  || fail "unresolved non-libc symbols: $unresolved"
echo "libtts.so checks passed"
