# make run  : install what is missing, build, start the application
# make test : install what is missing, build, run every test
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
BUILD_TYPE ?= RelWithDebInfo

.PHONY: deps configure build run test sanitize bench format clean

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
	cd build-asan && ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS) --timeout 600

bench: build
	./$(BUILD_DIR)/bench/store_bench
	./$(BUILD_DIR)/bench/monitor_bench
	./$(BUILD_DIR)/bench/capture_bench
	./$(BUILD_DIR)/bench/linkpreview_bench
	./$(BUILD_DIR)/bench/panel_bench
	./$(BUILD_DIR)/bench/cards_bench
	./$(BUILD_DIR)/bench/pick_bench
	./$(BUILD_DIR)/bench/rtf_bench

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)
