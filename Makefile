# The two commands every user needs: `make demo` and `make test`. Both install
# what is missing, configure, build and run.
PRESET ?= default
BUILD := build/$(PRESET)
CMAKE_BUILD_PARALLEL_LEVEL ?= 2
export CMAKE_BUILD_PARALLEL_LEVEL

# Configures a preset's build folder; one whose last configure never found its
# compilers (run before they were installed) is started afresh, since its cache
# holds empty flags for every build type.
configure = if [ -f build/$(1)/CMakeCache.txt ] && ! { ls build/$(1)/CMakeFiles/*/CMakeCCompiler.cmake && \
              ls build/$(1)/CMakeFiles/*/CMakeCXXCompiler.cmake; } >/dev/null 2>&1; then \
              echo "build/$(1): its last configure found no compiler; configuring it afresh"; \
              set -- --fresh; fi; echo cmake --preset $(1) "$$@"; cmake --preset $(1) "$$@"

.PHONY: all setup build build-products demo test bench clean format-check test-windows build-windows dist release

all: build

setup:
	@scripts/setup base
	@scripts/setup vsthost editor

build: setup
	@$(call configure,$(PRESET))
	cmake --build --preset $(PRESET)

# What the demo runs, and nothing more: the modules, the examples and vsthost.
PRODUCTS := Orsolane Gain Tremolo SineSynth vsthost orsolane_demo
build-products: setup
	@$(call configure,$(PRESET))
	cmake --build --preset $(PRESET) --target $(PRODUCTS)

# The demo ends with pictures of the examples' editors (in the build folder;
# docs/ keeps the ones the README shows).
demo: build-products
	$(BUILD)/orsolane_demo $(BUILD)/plugin/Orsolane.so $(BUILD) \
	  $(BUILD)/examples/Gain.so $(BUILD)/examples/Tremolo.so

# The suites run four tests at a time (their presets say so) even on two
# cores: most tests spend much of their time waiting on the processes they start.
test: build format-check
	@scripts/setup vst-plugins packaging
	ctest --preset $(PRESET)
	$(MAKE) --no-print-directory test-robustness
	@$(MAKE) --no-print-directory test-windows

# The side-by-side processing benchmark on both platforms, each printing a
# table of ratios at the end: the Linux release module, then the Windows
# build's DLL (the one shipped) with the benchmark cross-built, under Wine;
# and on Linux the analyser's whole run on Orsolane against its run on a gain.
# Google Benchmark for Windows is cross-built once, into build/third_party.
bench:
	@scripts/setup base bench windows
	@scripts/mingw-benchmark
	@$(call configure,release)
	cmake --build --preset release --target Orsolane processing_benchmark analysis_benchmark editor_benchmark
	build/release/benchmarks/processing_benchmark $(BENCH_ARGS)
	build/release/benchmarks/analysis_benchmark
	build/release/benchmarks/editor_benchmark
	@$(call configure,windows)
	cmake --build --preset windows --target Orsolane processing_benchmark
	scripts/wine-run --prefix=$(CURDIR)/build/windows/wine-prefix \
	  build/windows/benchmarks/processing_benchmark.exe $(BENCH_ARGS)

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
# for a bounded time (10 s: its corpus and regressions replayed and a short
# search). `make fuzz` runs the fuzz targets longer.
FUZZ_SECONDS ?= 10
VALGRIND := valgrind -q --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite

.PHONY: test-robustness fuzz fuzz-build

test-robustness: build fuzz-build
	@$(call configure,asan)
	cmake --build --preset asan
	ctest --preset asan
	@$(call configure,tsan)
	cmake --build --preset tsan --target thread_stress_tests
	ctest --preset tsan -R ThreadStress
	$(VALGRIND) $(BUILD)/tests/module_tests
	$(VALGRIND) $(BUILD)/tests/reliability/hostile_host_tests
	scripts/fuzz $(FUZZ_SECONDS)

fuzz-build: setup
	@scripts/setup robustness
	@$(call configure,fuzz)
	cmake --build --preset fuzz

fuzz: fuzz-build
	scripts/fuzz $(or $(FUZZ_LONG_SECONDS),300)

# The Windows DLL, cross-built with mingw-w64; its tests run under Wine.
# libsndfile for vsthost.exe's render is cross-built once, into
# build/third_party; without it (no network, say) vsthost.exe has no render.
# AGG's source, which the editors' canvas needs, is fetched once the same way.
build-windows:
	@scripts/setup base windows
	@scripts/mingw-agg
	@scripts/mingw-sndfile || echo "build-windows: going on without libsndfile: vsthost.exe gets no render"
	@scripts/mingw-kissfft || echo "build-windows: going on without KissFFT: vsthost.exe gets no analyze"
	@$(call configure,windows)
	cmake --build --preset windows

# Wine now and then fails to start a process on a loaded machine (the test
# ends in a few milliseconds with no output), so the Windows preset runs a
# failed test once more; a test that fails twice fails.
test-windows: build-windows
	@scripts/setup packaging
	ctest --preset windows

# A release, into dist/: both modules, the Windows installer, the Debian
# packages, the framework for each system and SHA256SUMS, the same bytes from
# the same commit (see scripts/release). VST_SIGN_PKCS12 and VST_SIGN_PASSWORD
# in the environment sign the Windows files. `make dist` is the same.
release: setup build-windows
	@scripts/setup packaging
	@$(call configure,release)
	scripts/release

dist: release
