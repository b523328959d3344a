# The two set-up commands: `make demo` and `make test`.
BUILD       ?= build
TEST_BUILD  ?= build-test
BENCH_BUILD ?= build-bench
FUZZ_BUILD  ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS        ?= $(shell nproc)

# ccache, when the machine has it, makes rebuilds in several folders cheap.
LAUNCHER    := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

.PHONY: all deps build test bench demo format clean patterns fuzz train-mrz

all: build

deps:
	@scripts/install-deps

# A release build; run `make deps` (or scripts/install-deps) first on a new
# machine.
build:
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DGW_BUILD_TESTS=OFF $(LAUNCHER) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# Every test, built with AddressSanitizer and UndefinedBehaviorSanitizer, and
# with warnings as errors.
test: deps
	@cmake -S . -B $(TEST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGW_SANITIZE=ON \
	  -DGW_WARNINGS_AS_ERRORS=ON $(LAUNCHER) >/dev/null
	@cmake --build $(TEST_BUILD) -j $(JOBS)
	@cd $(TEST_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

bench: deps
	@cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DGW_BUILD_TESTS=OFF -DGW_BUILD_BENCH=ON $(LAUNCHER) >/dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS)
	@for b in $(BENCH_BUILD)/bench/bench_*; do echo "== $$b"; $$b --benchmark_min_time=0.2; done

# Every fuzz target (fuzz/*_fuzz.cpp) built with clang and libFuzzer, then run
# for FUZZ_SECONDS each on its corpus; see fuzz/run-fuzzers.
fuzz: deps
	@CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DGW_BUILD_TESTS=OFF -DGW_BUILD_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets
	@fuzz/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The README's first command: builds, then reads the bundled sample's
# machine-readable zone and barcodes.
DEMO_SAMPLE := samples/td3-passport.png

demo: deps build
	@echo "== glyphwick mrz $(DEMO_SAMPLE)"
	@$(BUILD)/tools/glyphwick/glyphwick mrz $(DEMO_SAMPLE)
	@echo "== glyphwick barcode $(DEMO_SAMPLE) --type code128"
	@$(BUILD)/tools/glyphwick/glyphwick barcode $(DEMO_SAMPLE) --type code128
	@echo "== glyphwick barcode $(DEMO_SAMPLE) --type code39"
	@$(BUILD)/tools/glyphwick/glyphwick barcode $(DEMO_SAMPLE) --type code39

# Rebuilds the shipped pattern file from Debian's OCR fonts.
patterns: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DGW_BUILD_TESTS=OFF $(LAUNCHER) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target glyphwick-patterns
	@patterns/make-patterns $(BUILD)/tools/glyphwick-patterns/glyphwick-patterns

# Retrains the zone reader's cell classifier (about half an hour on two cores;
# needs tools/mrz-train/install-train-deps); see docs/mrz-model.md.
train-mrz: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DGW_BUILD_TESTS=OFF $(LAUNCHER) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target mrz-pages
	@tools/mrz-train/train-mrz $(BUILD)

format:
	@git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	@rm -rf $(BUILD) $(TEST_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD)
