# Two entry points: `make demo` plays one round on the sample data,
# `make test` builds and runs every test, plain and under the sanitizers.
JOBS ?= $(shell nproc)

.PHONY: all build demo test test-plain test-asan bench clean

all: build

build:
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS)

demo: build
	./build/default/tools/demo

bench: build
	./build/default/tools/bench

test-plain: build
	ctest --preset default

test-asan:
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan

test: test-plain test-asan

clean:
	rm -rf build
