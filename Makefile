# The two set-up commands: `make demo` and `make test`.
BUILD       ?= build
TEST_BUILD  ?= build-test
BENCH_BUILD ?= build-bench
FUZZ_BUILD  ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS        ?= $(shell nproc)

.PHONY: all deps build test bench demo format clean patterns fuzz

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DGW_BUILD_TESTS=OFF >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# Every test, built with AddressSanitizer and UndefinedBehaviorSanitizer.
test: deps
	@cmake -S . -B $(TEST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGW_SANITIZE=ON >/dev/null
	@cmake --build $(TEST_BUILD) -j $(JOBS)
	@cd $(TEST_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

bench: deps
	@cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DGW_BUILD_TESTS=OFF -DGW_BUILD_BENCH=ON >/dev/null
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
# machine-readable zone and barcodes. Until the shipped pattern file exists the
# zone is read with the OCR-B patterns that the tests make.
DEMO_SAMPLE   := samples/td3-passport.png
DEMO_PATTERNS := $(if $(wildcard patterns/libglyphwick.PAT),,--patterns $(BUILD)/test-ocrb.PAT)

demo: build $(if $(DEMO_PATTERNS),$(BUILD)/test-ocrb.PAT)
	@echo "== glyphwick mrz $(DEMO_SAMPLE)"
	@$(BUILD)/tools/glyphwick/glyphwick mrz $(DEMO_SAMPLE) $(DEMO_PATTERNS)
	@echo "== glyphwick barcode $(DEMO_SAMPLE) --type code128"
	@$(BUILD)/tools/glyphwick/glyphwick barcode $(DEMO_SAMPLE) --type code128
	@echo "== glyphwick barcode $(DEMO_SAMPLE) --type code39"
	@$(BUILD)/tools/glyphwick/glyphwick barcode $(DEMO_SAMPLE) --type code39

$(BUILD)/test-ocrb.PAT: tests/tool/make-test-patterns
	@mkdir -p $(BUILD)
	@tests/tool/make-test-patterns $@

# Rebuilds the shipped pattern file from Debian's OCR fonts.
patterns: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DGW_BUILD_TESTS=OFF >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target glyphwick-patterns
	@patterns/make-patterns $(BUILD)/tools/glyphwick-patterns/glyphwick-patterns

format:
	@git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	@rm -rf $(BUILD) $(TEST_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD)
