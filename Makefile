# The two commands every user needs: `make demo` and `make test`. Both install
# what is missing, configure, build and run.
PRESET ?= default
BUILD := build/$(PRESET)
CMAKE_BUILD_PARALLEL_LEVEL ?= 2
export CMAKE_BUILD_PARALLEL_LEVEL

.PHONY: all setup build demo test clean

all: build

setup:
	@scripts/setup base
	@scripts/setup vsthost

build: setup
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

demo: build
	$(BUILD)/orsolane_demo $(BUILD)/plugin/Orsolane.so $(BUILD)

test: build
	@scripts/setup vst-plugins
	ctest --preset $(PRESET)
	$(MAKE) --no-print-directory test-robustness

clean:
	rm -rf build

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
