#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Writes something that is not the engine protocol and exits 0.
sed -n '/end$/q'
printf "RIFF garbage that is not audio"
