# Thin wrapper around CMake, CTest and CPack.
.PHONY: deps configure build asan test demo fleet-demo package fuzz bench clean windows msi

JOBS ?= $(shell nproc)
# make does not print "Entering directory" for its own recursions.
MAKEFLAGS += --no-print-directory

deps:
	@scripts/deps.sh

# $(call afresh,FOLDER): removes a build folder that another generator than
# the presets' made, which CMake would refuse to configure again.
afresh = @grep -qsx 'CMAKE_GENERATOR:INTERNAL=Ninja' $(1)/CMakeCache.txt || rm -rf $(1)

configure: deps
	$(call afresh,build)
	@cmake --preset default --log-level=WARNING

build: configure
	cmake --build --preset default -j $(JOBS)

asan: deps
	$(call afresh,build-asan)
	@cmake --preset asan --log-level=WARNING
	cmake --build --preset asan -j $(JOBS)

test: build asan
	ctest --preset default
	ctest --preset asan

# Only what the demo runs: the host, the plug-ins, the suite's libraries.
demo: configure
	cmake --build --preset default -j $(JOBS) --target kelvox_runtime
	@scripts/demo.sh

# The fleet example: secrets reach four local machines as age files
# (examples/fleet), run by Ansible.
fleet-demo: configure
	@scripts/deps.sh fleet
	cmake --build --preset default -j $(JOBS) --target kelvox_runtime
	@scripts/fleet-demo.sh

# build/kelvox_<version>_<arch>.deb, from what the package holds only.
package: configure
	cmake --build --preset default -j $(JOBS) --target kelvox_runtime kelvox_docs
	cpack --preset default

fuzz: deps
	@scripts/fuzz.sh

# The presets leave the benchmarks out of `build`: named here.
bench: build
	cmake --build --preset default -j $(JOBS) --target kelvox_bench
	@scripts/deps.sh bench
	@scripts/bench.sh

clean:
	rm -rf build build-asan build-fuzz build-windows demo demo-fleet

# Cross-compiles for Windows x86-64 into build-windows/, builds the installer,
# and tests both under Wine (the installer: install, run, upgrade, uninstall).
windows:
	@scripts/windows.sh

# build-windows/kelvox-<version>-x64.msi, the Windows installer, from the
# cross-built programs.
msi:
	@scripts/msi.sh
