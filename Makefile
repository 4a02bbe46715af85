# Two entry points: `make demo` plays one round on the sample data,
# `make test` builds and runs every test, plain and under the sanitizers.
JOBS ?= $(shell nproc)

.PHONY: all build demo play test test-plain test-asan bench clean

all: build

build:
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS)

# Builds only the given targets and what they need, in the default build tree; the
# build's own output is shown only when it fails, so a first round starts in seconds
# with nothing but the round on the screen.
define build_only
	@mkdir -p build
	@{ cmake --preset default && cmake --build --preset default -j $(JOBS) --target $(1); } \
	  >build/make-$(firstword $(1)).log 2>&1 || { cat build/make-$(firstword $(1)).log; exit 1; }
endef

demo:
	@echo "Building typerace and the demonstration..."
	$(call build_only,demo)
	@./build/default/tools/demo/demo

# A round at your own terminal; options go in ARGS, e.g. ARGS="--type short --typestart".
# Leaving with Ctrl-C is no failure of make's.
play:
	@echo "Building typerace, typestart and play mode..."
	$(call build_only,play)
	@./build/default/tools/play/play $(ARGS) || [ $$? -eq 130 ]

bench: build
	./build/default/tools/bench/bench
	./build/default/tools/bench/bench_typestart
	./build/default/tools/bench/bench_typescore

# The presets leave the number of test jobs out (they cannot know the machine's cores).
test-plain: build
	ctest --preset default -j $(JOBS)

test-asan:
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

# The fuzz targets (clang, libFuzzer) in build/fuzz, FUZZ_SECONDS each; `make test` gives
# each a short smoke run.
.PHONY: fuzz fuzz-smoke
FUZZ_SECONDS ?= 300

fuzz:
	bash fuzz/run.sh $(FUZZ_SECONDS)

fuzz-smoke:
	bash fuzz/run.sh 10

# The soak run: every room racing at once for SOAK_SECONDS, faults thrown in, invariants
# counted; `make test` gives it a 30-second smoke run without SIGKILL.
.PHONY: soak soak-smoke
SOAK_SECONDS ?= 600

soak: build
	SOAK_SECONDS=$(SOAK_SECONDS) ./build/default/tools/soak/soak

soak-smoke: build
	SOAK_SECONDS=30 SOAK_SIGKILL=0 ./build/default/tools/soak/soak

test: test-plain test-asan fuzz-smoke soak-smoke

clean:
	rm -rf build
