# SPDX-License-Identifier: Apache-2.0
# The two commands of the README, plus the sanitizer, benchmark and fuzzing builds.
#   make test                          build and run every test
#   make test SANITIZE=address,undefined
#   make test SANITIZE=thread
#   make demo                          build and run the main program against emulated readers
#   make bench                         build and run the benchmarks
#   make package                       the Debian packages (kelvo-central, kelvo-driver) in build/package, checked
#   make fuzz                          build the libFuzzer targets with clang and run each for a while
#   make campaign                      the fault campaign against kelvo-driver, long (CAMPAIGN_REQUESTS, SEED)
#   make lint                          clang-format (check only), clang-tidy and shellcheck over the tree
#   make format                        rewrite the tree's C++ files in the house format
# Warnings are errors when KELVO_WERROR=ON, which is the default when CI is set (the CI runner sets CI=true).
SHELL := /bin/bash
SANITIZE ?=
BUILD_TYPE ?= RelWithDebInfo
FUZZ_SECONDS ?= 30
CAMPAIGN_REQUESTS ?= 10000
SEED ?=
KELVO_WERROR ?= $(if $(filter-out 0 false no off,$(CI)),ON,OFF)
comma := ,
BUILD_DIR := build/$(if $(SANITIZE),$(subst $(comma),-,$(SANITIZE)),default)
# ccache, where installed, makes rebuilds in other build folders and other checkouts of the tree cheap.
CCACHE := $(shell command -v ccache 2>/dev/null)
export CCACHE_BASEDIR := $(CURDIR)
# Installed and packaged under /usr, as the system's own programs are; the build folders use the same prefix, so
# the paths compiled into the programs are those of the packages.
CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DSANITIZE=$(SANITIZE) -DKELVO_WERROR=$(KELVO_WERROR) \
  -DCMAKE_INSTALL_PREFIX=/usr \
  $(if $(CCACHE),-DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE) -DCMAKE_C_COMPILER_LAUNCHER=$(CCACHE))

.PHONY: all deps configure build test demo bench fuzz campaign lint format clean package

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD_DIR)

test: build
	@scripts/run-tests $(BUILD_DIR)

demo: build
	@scripts/demo $(BUILD_DIR)

campaign: configure
	@cmake --build $(BUILD_DIR) --target kelvo-campaign
	@scripts/run-campaign $(BUILD_DIR) --requests $(CAMPAIGN_REQUESTS) $(if $(SEED),--seed $(SEED))

# clang-tidy reads the build folder's compile_commands.json, which configuring writes.
lint: configure
	@scripts/lint $(BUILD_DIR)

format:
	@git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format -i

bench: deps
	@cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELVO_BUILD_TESTS=OFF > /dev/null
	@cmake --build build/bench
	@scripts/run-bench build/bench

fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKELVO_BUILD_TESTS=OFF -DKELVO_BUILD_BENCH=OFF -DKELVO_BUILD_FUZZ=ON > /dev/null
	@cmake --build build/fuzz
	@scripts/run-fuzz build/fuzz $(FUZZ_SECONDS)

clean:
	rm -rf build

# Packages carry no emulator, test or benchmark, and are built with Debian's hardening flags.
PACKAGE_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all
package: deps
	@cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
	  -DKELVO_WITH_SIMULATOR=OFF -DKELVO_BUILD_TESTS=OFF -DKELVO_BUILD_BENCH=OFF \
	  -DCMAKE_C_FLAGS="$$($(PACKAGE_FLAGS) dpkg-buildflags --get CFLAGS) $$($(PACKAGE_FLAGS) dpkg-buildflags --get CPPFLAGS)" \
	  -DCMAKE_CXX_FLAGS="$$($(PACKAGE_FLAGS) dpkg-buildflags --get CXXFLAGS) $$($(PACKAGE_FLAGS) dpkg-buildflags --get CPPFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(PACKAGE_FLAGS) dpkg-buildflags --get LDFLAGS)" \
	  -DCMAKE_SHARED_LINKER_FLAGS="$$($(PACKAGE_FLAGS) dpkg-buildflags --get LDFLAGS)" \
	  -DCMAKE_MODULE_LINKER_FLAGS="$$($(PACKAGE_FLAGS) dpkg-buildflags --get LDFLAGS)" \
	  $(if $(CCACHE),-DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE) -DCMAKE_C_COMPILER_LAUNCHER=$(CCACHE)) > /dev/null
	@cmake --build build/package
	@tests/packaging/package-test.sh build/package tests/packaging/expected-files \
	  "$$(sed -n 's/^project(KelvoCentral VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
	@cd build/package && cpack -G DEB > /dev/null && ls -1 $$PWD/*.deb
