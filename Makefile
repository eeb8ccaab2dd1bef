# The two commands every user needs: `make demo` and `make test`. Both install
# what is missing, configure, build and run.
PRESET ?= default
BUILD := build/$(PRESET)
CMAKE_BUILD_PARALLEL_LEVEL ?= 2
export CMAKE_BUILD_PARALLEL_LEVEL

.PHONY: all setup build build-products demo test bench clean format-check test-windows build-windows dist

all: build

setup:
	@scripts/setup base
	@scripts/setup vsthost

build: setup
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

# What the demo runs, and nothing more: the modules, the examples and vsthost.
PRODUCTS := Orsolane Gain Tremolo SineSynth vsthost orsolane_demo
build-products: setup
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET) --target $(PRODUCTS)

demo: build-products
	$(BUILD)/orsolane_demo $(BUILD)/plugin/Orsolane.so $(BUILD)

test: build format-check
	@scripts/setup vst-plugins
	ctest --preset $(PRESET)
	$(MAKE) --no-print-directory test-robustness
	@$(MAKE) --no-print-directory test-windows

# Release build (the shipped module's flags) and the side-by-side processing
# benchmark; prints a table of ratios at the end.
bench:
	@scripts/setup base bench
	cmake --preset release
	cmake --build --preset release --target Orsolane processing_benchmark
	build/release/benchmarks/processing_benchmark $(BENCH_ARGS)

clean:
	rm -rf build dist

# Every C and C++ source follows .clang-format.
SOURCES = $(shell find include framework effect host tools tests fuzz benchmarks examples \
            \( -name '*.c' -o -name '*.cpp' -o -name '*.h' -o -name '*.inc' \) -type f)
format-check: setup
	@clang-format --dry-run --Werror $(SOURCES) && echo "clang-format: every source follows .clang-format"

# Robustness, part of `make test`: the whole suite again under AddressSanitizer
# and UndefinedBehaviorSanitizer (leaks included), the thread stress under
# ThreadSanitizer, the host-level suites under valgrind, and every fuzz target
# for a bounded time. `make fuzz` runs the fuzz targets longer.
FUZZ_SECONDS ?= 20
VALGRIND := valgrind -q --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite

.PHONY: test-robustness fuzz fuzz-build

test-robustness: build fuzz-build
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan
	cmake --preset tsan
	cmake --build --preset tsan --target thread_stress_tests
	ctest --preset tsan -R ThreadStress
	$(VALGRIND) $(BUILD)/tests/module_tests
	$(VALGRIND) $(BUILD)/tests/reliability/hostile_host_tests
	scripts/fuzz $(FUZZ_SECONDS)

fuzz-build: setup
	@scripts/setup robustness
	cmake --preset fuzz
	cmake --build --preset fuzz

fuzz: fuzz-build
	scripts/fuzz $(or $(FUZZ_LONG_SECONDS),300)

# The Windows DLL, cross-built with mingw-w64; its tests run under Wine.
build-windows:
	@scripts/setup base windows
	cmake --preset windows
	cmake --build --preset windows

test-windows: build-windows
	ctest --preset windows

# A release folder: both modules and a note on where hosts look for them.
dist: setup build-windows
	cmake --preset release
	cmake --build --preset release --target Orsolane
	rm -rf dist && mkdir -p dist
	cp build/windows/plugin/Orsolane.dll build/release/plugin/Orsolane.so dist/
	cp packaging/INSTALL.txt dist/INSTALL.txt
	@ls -l dist
