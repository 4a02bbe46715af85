# Two entry points: `make demo` plays one round on the sample data,
# `make test` builds and runs every test, plain and under the sanitizers.
JOBS ?= $(shell nproc)

.PHONY: all build demo play test test-plain test-asan bench clean

all: build

build:
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS)

demo: build
	./build/default/tools/demo

# A round at your own terminal; options go in ARGS, e.g. ARGS="--type short --typestart".
play: build
	./build/default/tools/play $(ARGS)

bench: build
	./build/default/tools/bench
	./build/default/tools/bench_typestart
	./build/default/tools/bench_typescore

test-plain: build
	ctest --preset default

test-asan:
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan

# The fuzz targets (clang, libFuzzer) in build/fuzz, FUZZ_SECONDS each; `make test` gives
# each a short smoke run.
.PHONY: fuzz fuzz-smoke
FUZZ_SECONDS ?= 300

fuzz:
	bash fuzz/run.sh $(FUZZ_SECONDS)

fuzz-smoke:
	bash fuzz/run.sh 10

test: test-plain test-asan fuzz-smoke

clean:
	rm -rf build
