# Thin wrapper around CMake and CTest.
.PHONY: deps build asan test demo fuzz bench clean

JOBS ?= $(shell nproc)

deps:
	@scripts/deps.sh

build: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)

test: build asan
	ctest --preset default
	ctest --preset asan

demo: build
	@scripts/demo.sh

fuzz: deps
	@scripts/fuzz.sh

bench: build
	@scripts/bench.sh

clean:
	rm -rf build build-asan build-fuzz build-windows demo

# Cross-compiles for Windows x86-64 into build-windows/ and tests under Wine.
.PHONY: windows
windows:
	@scripts/windows.sh
