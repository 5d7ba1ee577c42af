# Entry points; CMake does the building. `make run` and `make test` install
# missing Debian packages first.
JOBS ?= 2

.PHONY: all deps build run test test-sanitize fuzz bench clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build -j$(JOBS)

run: build
	./build/vorlan examples/tour.vl

test: build
	ctest --test-dir build --output-on-failure -j$(JOBS)

test-sanitize: deps
	cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DVORLAN_SANITIZE=ON
	cmake --build build-sanitize -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir build-sanitize --output-on-failure -j$(JOBS)

# The libFuzzer target, built with clang under the sanitizers, run for
# FUZZ_SECONDS (10 minutes unless given).
FUZZ_SECONDS ?= 600
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLAN_FUZZ=ON
	cmake --build build-fuzz -j$(JOBS) --target vorlan_fuzz
	tools/run-fuzz.sh build-fuzz/tests/fuzz/vorlan_fuzz $(FUZZ_SECONDS) build-fuzz

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVORLAN_BENCH=ON
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
