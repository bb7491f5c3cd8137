# Front door. Everything real lives in CMake; these targets only configure, build and run.
JOBS ?= 2
BUILD ?= build
BUILD_SAN ?= build-sanitize
CMAKE_FLAGS ?=

PREFIX ?= /usr/local

# Fuzzing: clang and libFuzzer, a build directory of its own, FUZZ_SECONDS per harness.
BUILD_FUZZ ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_HARNESSES ?=

.PHONY: all build test test-sanitize demo bench install clean fuzz

all: build

build:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

test-sanitize:
	cmake -S . -B $(BUILD_SAN) -DAVF_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS)
	cmake --build $(BUILD_SAN) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(BUILD_SAN) --output-on-failure -j$(JOBS)

demo: build
	bash tools/demo.sh $(BUILD)

bench: build
	bash bench/run $(BUILD)

fuzz:
	CC=clang CXX=clang++ cmake -S fuzz -B $(BUILD_FUZZ) -DAVF_FUZZ=ON
	cmake --build $(BUILD_FUZZ) -j$(JOBS)
	bash fuzz/run.sh $(BUILD_FUZZ) $(FUZZ_SECONDS) $(FUZZ_HARNESSES)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) $(BUILD_SAN)
