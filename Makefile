# The README commands. `make run` builds and starts the game; `make test`
# installs what is missing, builds with the sanitizers and runs every test.
JOBS ?= $(shell nproc)
BUILD ?= build
TEST_BUILD ?= build-test

.PHONY: all deps build run test bench clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGR_BUILD_TESTS=OFF >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -x $(BUILD)/gravelrun ]; then $(BUILD)/gravelrun $(ARGS); \
	else echo "No game binary is built yet ($(BUILD)/gravelrun)."; fi

test: deps
	@cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=Debug -DGR_SANITIZE=ON -DGR_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(TEST_BUILD) -j $(JOBS)
	@cd $(TEST_BUILD) && ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)

bench: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGR_BUILD_TESTS=OFF >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@for b in $(BUILD)/bench/gr_bench_*; do echo "== $$b"; (cd $(BUILD) && ./bench/$$(basename $$b)) || exit 1; done

clean:
	rm -rf $(BUILD) $(TEST_BUILD)
