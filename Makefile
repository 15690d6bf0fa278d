# Thin wrapper over CMake. `make run` and `make test` install what they need first.
# SANITIZE=1: AddressSanitizer and UBSan build; SIMD=0: the portable scalar build;
# WERROR=1: warnings are errors (CI).
SANITIZE ?= 0
SIMD ?= 1
WERROR ?= 0
ARGS ?=
FUZZ_SECONDS ?= 10
JOBS ?= $(shell nproc)

ifeq ($(SANITIZE),1)
BUILD_DIR ?= build-sanitize
CMAKE_FLAGS = -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSANE_SANITIZE=ON -DTESSANE_BENCH=OFF
else ifeq ($(SIMD),0)
BUILD_DIR ?= build-scalar
CMAKE_FLAGS = -DCMAKE_BUILD_TYPE=Release -DTESSANE_BENCH=OFF
else
BUILD_DIR ?= build
CMAKE_FLAGS = -DCMAKE_BUILD_TYPE=Release
endif
ON_OFF = $(if $(filter 1,$(1)),ON,OFF)
CMAKE_FLAGS += -DTESSANE_SIMD=$(call ON_OFF,$(SIMD)) -DTESSANE_WERROR=$(call ON_OFF,$(WERROR))

.PHONY: deps configure build test run package bench fuzz clean format

deps:
	bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	ASAN_OPTIONS=detect_leaks=1 QT_QPA_PLATFORM=offscreen \
	  ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS) --timeout 600

run: build
	./$(BUILD_DIR)/src/app/tessane $(ARGS)

# A Debian package of the installed files: $(BUILD_DIR)/tessane_<version>_<arch>.deb
package: build
	cmake --build $(BUILD_DIR) --target package

bench: deps
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSANE_BENCH=ON
	cmake --build build -j $(JOBS) --target tessane-cli tessane_bench jpeg_floor tessane-window-batch
	bash bench/run.sh build

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTESSANE_FUZZ=ON -DTESSANE_TESTS=OFF -DTESSANE_BENCH=OFF -DTESSANE_WERROR=$(call ON_OFF,$(WERROR))
	cmake --build build-fuzz --target fuzz_targets -j $(JOBS)
	bash fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-sanitize build-scalar build-fuzz
