# make run  : install what is missing, build, start the application
# make test : install what is missing, build, run every test
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
BUILD_TYPE ?= RelWithDebInfo

.PHONY: deps configure build run test sanitize bench install package format clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
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
bench: build
	./$(BUILD_DIR)/bench/store_bench
	./$(BUILD_DIR)/bench/clear_bench
	./$(BUILD_DIR)/bench/startup_bench
	./$(BUILD_DIR)/bench/monitor_bench
	./$(BUILD_DIR)/bench/capture_bench
	./$(BUILD_DIR)/bench/linkpreview_bench
	./$(BUILD_DIR)/bench/panel_bench
	./$(BUILD_DIR)/bench/cards_bench
	./$(BUILD_DIR)/bench/pick_bench
	./$(BUILD_DIR)/bench/rtf_bench

# PREFIX=/usr/local by default; DESTDIR is honoured: make install DESTDIR=/tmp/stage
PREFIX ?= /usr/local
install: build
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_INSTALL_PREFIX=$(PREFIX) >/dev/null
	DESTDIR=$(DESTDIR) cmake --install $(BUILD_DIR)

# A Debian package of the installed files, in $(BUILD_DIR): apt install ./$(BUILD_DIR)/tindralume_*.deb
package: build
	cd $(BUILD_DIR) && cpack -G DEB

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) build-asan
