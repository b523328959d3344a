# The two set-up commands: `make demo` and `make test`.
BUILD       ?= build
TEST_BUILD  ?= build-test
BENCH_BUILD ?= build-bench
FUZZ_BUILD  ?= build-fuzz
TSAN_BUILD  ?= build-tsan
FUZZ_SECONDS ?= 60
JOBS        ?= $(shell nproc)

# ccache, when the machine has it, makes rebuilds in several folders cheap.
LAUNCHER    := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

.PHONY: all deps build test bench demo format clean patterns fuzz tsan train-mrz

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

# The library built with ThreadSanitizer, running the readers on four threads
# beside a host of the GW_ exports (tests/threads).
tsan: deps
	@cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGW_TSAN=ON \
	  -DGW_BUILD_PYTHON=OFF $(LAUNCHER) >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target test_threads
	@TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 $(TSAN_BUILD)/tests/test_threads

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

# The README's first command: builds, installs the tool, the library, the
# headers and the Python package under PREFIX (the user's ~/.local, whose bin
# folder Debian's login profile puts on PATH and whose site-packages folder
# Python searches), then reads the bundled sample's zone and barcodes with
# the installed tool.
PREFIX      ?= $(HOME)/.local
PYTHON_USER_DIR := lib/python$(shell /usr/bin/python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])')/site-packages
DEMO_SAMPLE := samples/td3-passport.png

demo: deps build
	@cmake -S . -B $(BUILD) -DGW_PYTHON_INSTALL_DIR=$(PYTHON_USER_DIR) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) >/dev/null
	@cmake --install $(BUILD) --prefix $(PREFIX) >/dev/null
	@echo "== installed into $(PREFIX): bin/glyphwick, lib, include/glyphwick, $(PYTHON_USER_DIR)/glyphwick"
	@echo "== glyphwick mrz $(DEMO_SAMPLE)"
	@$(PREFIX)/bin/glyphwick mrz $(DEMO_SAMPLE)
	@echo "== glyphwick barcode $(DEMO_SAMPLE)"
	@$(PREFIX)/bin/glyphwick barcode $(DEMO_SAMPLE)
	@case ":$$PATH:" in *":$(PREFIX)/bin:"*) ;; \
	  *) echo "== $(PREFIX)/bin is not on PATH in this shell: export PATH=$(PREFIX)/bin:\$$PATH";; esac

# Rebuilds the shipped pattern file from Debian's OCR fonts.
patterns: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DGW_BUILD_TESTS=OFF $(LAUNCHER) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target glyphwick-patterns
	@patterns/make-patterns $(BUILD)/tools/glyphwick-patterns/glyphwick-patterns

# Retrains the zone reader's cell classifier (about 26 minutes on two cores;
# needs tools/mrz-train/install-train-deps); see docs/mrz-model.md.
train-mrz: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DGW_BUILD_TESTS=OFF $(LAUNCHER) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target mrz-pages
	@tools/mrz-train/train-mrz $(BUILD)

format:
	@git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	@rm -rf $(BUILD) $(TEST_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD) $(TSAN_BUILD)
