# Qor console. `make run` builds and starts the console; `make test` builds
# and runs every test. Both first install whatever Debian packages are missing.

BUILD      ?= build/release
BUILD_ASAN ?= build/asan
BUILD_FUZZ ?= build/fuzz
JOBS       ?= $(shell nproc)

.PHONY: all deps build run test test-asan fuzz bench clean

all: build

deps:
	@sh tools/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# Only the console executable: no test, fuzz or benchmark objects.
run: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target qor
	$(BUILD)/qor

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

$(BUILD_ASAN)/build.ninja:
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQOR_SANITIZE=ON -DQOR_GC_STRESS=ON

# Every test again under AddressSanitizer, UndefinedBehaviourSanitizer and the
# collect-at-every-allocation mode.
test-asan: deps $(BUILD_ASAN)/build.ninja
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j $(JOBS)

$(BUILD_FUZZ)/build.ninja:
	cmake -S . -B $(BUILD_FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQOR_FUZZ=ON -DQOR_TESTS=OFF

# A short run of every fuzz target (FUZZ_SECONDS each).
FUZZ_SECONDS ?= 10
fuzz: deps $(BUILD_FUZZ)/build.ninja
	cmake --build $(BUILD_FUZZ) -j $(JOBS)
	sh tools/run-fuzzers.sh $(BUILD_FUZZ) $(FUZZ_SECONDS)

bench: deps
	cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQOR_BENCH=ON -DQOR_TESTS=OFF
	cmake --build build/bench -j $(JOBS)

clean:
	rm -rf build
