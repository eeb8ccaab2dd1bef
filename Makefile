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

build: setup
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

demo: build
	$(BUILD)/orsolane_demo $(BUILD)/plugin/Orsolane.so

test: build
	ctest --preset $(PRESET)

clean:
	rm -rf build
