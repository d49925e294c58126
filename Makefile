# make run  : install what is missing, build the application, start it
# make test : install what is missing, build everything, run every test
# make bench: install what is missing, build the benchmarks, run them
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
BUILD_TYPE ?= RelWithDebInfo

.PHONY: deps configure build build-app run test sanitize bench install package format clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

# The program and the files installed with it (its icons), without the tests and benchmarks.
build-app: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target tindralume tindralume_icons

run: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target tindralume
	./$(BUILD_DIR)/src/app/tindralume

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 600

# The tests under AddressSanitizer and UndefinedBehaviorSanitizer, in a build tree of their own.
sanitize: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
		-DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined" \
		-DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
	@cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
		LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
		UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS) --timeout 600

# BM_ReturnToTextInFocusedWindow of pick_bench also needs an X display with a window manager and
# BENCH_FOCUS_CLIENT=$(BUILD_DIR)/tests/panel/panel_focus_client; it is skipped otherwise.
BENCHES = store_bench clear_bench startup_bench monitor_bench capture_bench linkpreview_bench panel_bench cards_bench pick_bench \
	rtf_bench
bench: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target benchmarks
	@set -e; for b in $(BENCHES); do ./$(BUILD_DIR)/bench/$$b; done

# PREFIX=/usr/local by default; DESTDIR is honoured: make install DESTDIR=/tmp/stage
PREFIX ?= /usr/local
install: build-app
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_INSTALL_PREFIX=$(PREFIX) >/dev/null
	DESTDIR=$(DESTDIR) cmake --install $(BUILD_DIR)

# A Debian package of the installed files, in $(BUILD_DIR): apt install ./$(BUILD_DIR)/tindralume_*.deb
package: build-app
	cd $(BUILD_DIR) && cpack -G DEB

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) build-asan
