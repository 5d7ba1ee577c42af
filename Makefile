# Entry points; CMake does the building. Every goal first installs the
# Debian packages it needs when any is missing (tools/install-deps.sh).
JOBS ?= 2
PREFIX ?= /usr/local
# ccache, when present, keeps rebuilds short.
LAUNCHER := $(if $(shell command -v ccache),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CONFIGURE = cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LAUNCHER)

.PHONY: all deps build kernel run test install test-sanitize fuzz bench clean

all: build

deps:
	@tools/install-deps.sh $(MAKECMDGOALS)

# Everything, the tests included.
build: deps
	$(CONFIGURE) -DVORLAN_TESTS=ON
	cmake --build build -j$(JOBS)

# The library and the vorlan host only.
kernel: deps
	$(CONFIGURE)
	cmake --build build -j$(JOBS) --target vorlan vorlan_host

run: kernel
	./build/vorlan examples/tour.vl

test: build
	ctest --test-dir build --output-on-failure --no-tests=error -j$(JOBS)

install: deps
	$(CONFIGURE) -DCMAKE_INSTALL_PREFIX=$(PREFIX)
	cmake --build build -j$(JOBS) --target vorlan vorlan_host
	cmake --install build

test-sanitize: deps
	cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DVORLAN_SANITIZE=ON -DVORLAN_TESTS=ON $(LAUNCHER)
	cmake --build build-sanitize -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir build-sanitize --output-on-failure -j$(JOBS)

# The libFuzzer target, built with clang under the sanitizers, run for
# FUZZ_SECONDS (10 minutes unless given).
FUZZ_SECONDS ?= 600
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLAN_FUZZ=ON $(LAUNCHER)
	cmake --build build-fuzz -j$(JOBS) --target vorlan_fuzz
	tools/run-fuzz.sh build-fuzz/tests/fuzz/vorlan_fuzz $(FUZZ_SECONDS) build-fuzz

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVORLAN_BENCH=ON $(LAUNCHER)
	cmake --build build-bench -j$(JOBS)
	./build-bench/bench/vorlan_bench
	./build-bench/bench/vorlan_bench_language
	./build-bench/bench/vorlan_bench_reals
	./build-bench/bench/vorlan_bench_constants
	./build-bench/bench/vorlan_bench_elementary
	./build-bench/bench/vorlan_bench_arithmetic
	./build-bench/bench/vorlan_bench_working_set
	./build-bench/bench/vorlan_bench_definitions
	./build-bench/bench/vorlan_bench_calculate
	./build-bench/bench/vorlan_bench_rounding
	./build-bench/bench/vorlan_bench_expand
	./build-bench/bench/vorlan_bench_number_theory
	./build-bench/bench/vorlan_bench_binary_format
	./build-bench/bench/vorlan_bench_collation

clean:
	rm -rf build build-sanitize build-bench build-fuzz
