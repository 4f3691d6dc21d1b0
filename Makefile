# Starwright: `make demo` runs the stand-in host with the plug-in, `make test` runs every test.
# Both install what is missing first (scripts/setup.sh; needs root on a fresh machine).
JOBS ?= 2

# One target at a time, also under `make -j`: the build trees and Wine prefixes that targets
# share are made by one at a time (JOBS sets the compilers' parallelism). `make test` runs the
# Windows, installer and release tests at once through scripts/test-windows.sh, which keeps them
# apart.
.NOTPARALLEL:

.PHONY: all setup native cross cross64 fuzz-build test test-native test-fuzz test-wine test-dist test-release test-kit test-windows disk-windows dist fuzz demo docs-pictures bench clean

all: native cross cross64

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

# The same plug-in for 64-bit hosts, and the Windows tests once more in that bitness.
cross64: setup
	@cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build/win64 -j$(JOBS)

test-wine: cross cross64
	@bash scripts/test-wine.sh build/win32 build/win64

# The installer, the zips and SHA256SUMS for users, in build/dist; signed when a certificate is
# given (STARWRIGHT_SIGN_PKCS12, STARWRIGHT_SIGN_PASSWORD_FILE: see docs/releasing.md).
dist: cross cross64
	@bash dist/build.sh

# The installer's scenarios (the test kit's installer program) under Wine, in prefixes of their own.
test-dist: dist
	@bash dist/test_installer.sh

# The release as a user checks it: one version, the same bytes when built again in another
# folder, signatures that verify and a signed installer that works under Wine.
test-release: dist
	@bash dist/test_release.sh

# The test kit as a tester runs it (under Wine's command prompt), counted against the results of
# the last test-wine and test-dist.
test-kit: dist
	@bash dist/test_kit.sh

# test-wine (each build apart), test-dist and test-release at once, then the test kit's test,
# each with its log printed whole when it ends.
# Each checks first that the disk has room for the whole run (scripts/check-disk.sh).
test-windows: disk-windows dist
	@bash scripts/test-windows.sh

disk-windows:
	@bash scripts/check-disk.sh windows

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

# Every test, then a look at the process list: nothing the run started may be left running.
test:
	@bash scripts/check-disk.sh test
	@bash tests/left_running.sh $(MAKE) --no-print-directory test-native test-fuzz test-windows

demo: cross
	@bash scripts/demo.sh

# The guide's pictures of the tool window and the stand-in host's under docs/, from the demo's tour.
docs-pictures: cross
	@bash scripts/demo.sh --docs

bench: cross cross64
	@cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DSTARWRIGHT_SANITIZE=OFF >/dev/null
	@cmake --build build/bench -j$(JOBS) --target starwright_bench
	@status=0; build/bench/bench/starwright_bench || status=1; \
	 bash scripts/bench-wine.sh || status=1; \
	 bash scripts/bench-size.sh || status=1; \
	 [ $$status = 0 ] || { echo "bench: a goal was missed (see above)"; exit 1; }

clean:
	rm -rf build
