# Starwright: `make demo` runs the stand-in host with the plug-in, `make test` runs every test.
# Both install what is missing first (scripts/setup.sh; needs root on a fresh machine).
JOBS ?= 2

.PHONY: all setup native cross test test-native test-wine demo docs-pictures bench clean

all: native cross

setup:
	@bash scripts/setup.sh

native: setup
	@cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build build/native -j$(JOBS)

cross: setup
	@cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build/win32 -j$(JOBS)

test-native: native
	@ctest --test-dir build/native --output-on-failure -j$(JOBS)

test-wine: cross
	@bash scripts/test-wine.sh

test: test-native test-wine

demo: cross
	@bash scripts/demo.sh

# The README's pictures under docs/, from the demo's unattended tour.
docs-pictures: cross
	@bash scripts/demo.sh --docs

bench: cross
	@cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DSTARWRIGHT_SANITIZE=OFF >/dev/null
	@cmake --build build/bench -j$(JOBS) --target starwright_bench
	@build/bench/bench/starwright_bench
	@bash scripts/bench-wine.sh

clean:
	rm -rf build
