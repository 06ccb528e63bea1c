#!/bin/sh
# Never answers; its child keeps the output open after the shell is killed.
sleep 600
