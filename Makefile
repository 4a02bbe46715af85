# Two entry points: `make demo` plays one round on the sample data, `make test` builds
# and runs every test, plain and under the sanitizers, then the fuzz targets and the soak
# briefly, and ends with one summary of every stage. `make check` is the plain build and
# tests alone, the developer's loop.
JOBS ?= $(shell nproc)
export JOBS
# The builds' own makes would announce every directory they enter and leave.
MAKEFLAGS += --no-print-directory

.PHONY: all build demo play test check test-plain test-asan bench clean

all: build

build:
	@echo "Building build/default (log: build/make-all.log)..."
	$(call build_only,all)

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

# A report of the figures against their targets; with STRICT=1 a missed target is a
# failure. Every benchmark runs even after one has failed.
BENCH_FLAGS = $(if $(filter-out 0,$(STRICT)),--strict)
bench: build
	@status=0; for b in bench bench_typestart bench_typescore; do \
	  ./build/default/tools/bench/$$b $(BENCH_FLAGS) || { s=$$?; [ $$status -ne 0 ] || status=$$s; }; \
	done; exit $$status

# Each stage of the tests records its line in build/summary/ (tools/make_test/stage.sh);
# `make test` runs them all, even after one has failed, and ends with their summary; it
# fails when any stage did, and a stage that ran no test has failed. To try the stages
# cut short: CTEST_ARGS="-R bigclock", FUZZ_SMOKE_SECONDS=1, SOAK_SMOKE_SECONDS=5. The
# presets leave the number of test jobs out (they cannot know the machine's cores); the
# stages take JOBS.
export CTEST_ARGS FUZZ_SMOKE_SECONDS SOAK_SMOKE_SECONDS
stage = bash tools/make_test/stage.sh
TEST_STAGES = plain asan fuzz soak

test:
	@rm -rf build/summary
	@status=0; for s in $(TEST_STAGES); do $(stage) $$s || status=1; done; \
	$(stage) summary "make test summary" $(TEST_STAGES) && exit $$status

check:
	@rm -f build/summary/plain
	@status=0; $(stage) plain || status=1; \
	$(stage) summary "make check summary" plain && exit $$status

test-plain:
	@$(stage) plain

test-asan:
	@$(stage) asan

# The fuzz targets (clang, libFuzzer) in build/fuzz, FUZZ_SECONDS each; `make test` gives
# each a short smoke run.
.PHONY: fuzz fuzz-smoke
FUZZ_SECONDS ?= 300

fuzz:
	bash fuzz/run.sh $(FUZZ_SECONDS)

fuzz-smoke:
	@$(stage) fuzz

# The soak run: every room racing at once for SOAK_SECONDS, faults thrown in, invariants
# counted; `make test` gives it a 30-second smoke run without SIGKILL.
.PHONY: soak soak-smoke
SOAK_SECONDS ?= 600

soak: build
	SOAK_SECONDS=$(SOAK_SECONDS) ./build/default/tools/soak/soak

soak-smoke:
	@$(stage) soak

clean:
	rm -rf build
