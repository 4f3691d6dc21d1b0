# Starwright: `make demo` runs the stand-in host with the plug-in, `make test` runs every test.
# Both install what is missing first (scripts/setup.sh; needs root on a fresh machine).
JOBS ?= 2

.PHONY: all setup native cross fuzz-build test test-native test-fuzz test-wine fuzz demo bench clean

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

# The libFuzzer targets: clang with AddressSanitizer and UndefinedBehaviorSanitizer, own tree.
fuzz-build: setup
	@cmake -S . -B build/fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTARWRIGHT_FUZZ=ON >/dev/null
	@cmake --build build/fuzz -j$(JOBS) --target window_fuzz number_text_fuzz

# A short seeded run of each target, part of `make test`.
test-fuzz: fuzz-build
	@bash scripts/fuzz.sh --smoke

# `make fuzz FUZZ_SECONDS=600` fuzzes each target for that long (default 60 s each).
FUZZ_SECONDS ?= 60
fuzz: fuzz-build
	@bash scripts/fuzz.sh $(FUZZ_SECONDS)

test: test-native test-fuzz test-wine

demo: cross
	@bash scripts/demo.sh

bench: cross
	@cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DSTARWRIGHT_SANITIZE=OFF >/dev/null
	@cmake --build build/bench -j$(JOBS) --target starwright_bench
	@build/bench/bench/starwright_bench
	@bash scripts/bench-wine.sh

clean:
	rm -rf build
