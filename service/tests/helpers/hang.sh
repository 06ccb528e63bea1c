#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Never answers; its child keeps the output open after the shell is killed.
sleep 600
