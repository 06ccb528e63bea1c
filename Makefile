# SPDX-License-Identifier: Apache-2.0
# Convenience over CMake: `make test` sets up what is missing, builds in
# build/ and runs the test suite.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
WERROR ?= $(if $(CI),ON,OFF)
CMAKE_FLAGS ?=

.PHONY: all deps configure build test fleet-test demo deb bench fuzz asan tsan slurm-test speechd-test container-test clean

all: build

deps:
	./scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DTTS_WERROR=$(WERROR) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Three servers behind HAProxy under wrk, one signalled mid-run (bench/fleet.sh).
fleet-test: build
	./bench/fleet.sh $(BUILD)

DEMO_TEXT ?= 你好，欢迎使用离线语音合成。今天是个好日子。

# Only what the demo runs: tts-say, the two libraries and the engine helper.
demo: configure
	cmake --build $(BUILD) -j $(JOBS) --target tts-say
	$(BUILD)/bin/tts-say -o $(BUILD)/demo.wav "$(DEMO_TEXT)"
	@echo "demo: wrote $(abspath $(BUILD))/demo.wav"

# The Debian packages, in build-deb/ (a build tree of their own, for /usr).
deb: deps
	./scripts/build-debs.sh $(CURDIR)/build-deb

bench: build
	./scripts/install-deps.sh bench
	./bench/compare.py --build $(BUILD)
	./bench/warm.py --build $(BUILD) < /dev/null
	./bench/reading_shapes.py --build $(BUILD)
	./bench/ssml.py --build $(BUILD)
	./bench/server.py --build $(BUILD)
	./bench/fleet.sh $(BUILD)
	./bench/resampler_quality.py --build $(BUILD)
	./bench/batch.py --build $(BUILD)
	./bench/speechd.py --build $(BUILD) < /dev/null

# tts-say --batch as a Slurm job array on a one-node cluster started here
# (as root: it installs slurm-wlm and munge, and runs their daemons).
slurm-test: build
	./scripts/install-deps.sh slurm
	./tests/slurm/run-one-node.sh $(BUILD)/bin/tts-say

# sd_tts under the real speech-dispatcher, heard on a PulseAudio null sink
# through python3-speechd (installs them; runs as root or as a user).
speechd-test: build
	./scripts/install-deps.sh speechd
	./speechd/tests/e2e/run.sh $(BUILD)

# deploy/Containerfile built with buildah from a Debian 12 root made here by
# debootstrap (kept in build-container/), and the image's server spoken
# through (as root: tests/container/run.sh).
container-test:
	./scripts/install-deps.sh container
	./tests/container/run.sh $(CURDIR)/build-container

# The test suite under AddressSanitizer+UBSan, and the threaded tests under
# ThreadSanitizer (CMakePresets.json).
asan tsan: deps
	cmake --preset $@ -DTTS_WERROR=$(WERROR)
	cmake --build --preset $@ -j $(JOBS)
	ctest --preset $@

FUZZ_SECONDS ?= 10

fuzz:
	./scripts/fuzz.sh $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz build-clang build-deb build-container
