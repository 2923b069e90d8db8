# Karto's entry points. `make run` and `make test` install what is missing,
# configure, build, and then start the window or run every test.

BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
# SANITIZE=1: every target built with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-sanitize, and the tests run there.
ifeq ($(SANITIZE),1)
BUILD_DIR := build-sanitize
CMAKE_FLAGS += -DKARTO_SANITIZE=ON
export ASAN_OPTIONS ?= detect_leaks=1
export LSAN_OPTIONS ?= suppressions=$(CURDIR)/fuzz/lsan.supp
export UBSAN_OPTIONS ?= print_stacktrace=1:halt_on_error=1
endif
ifneq ($(shell command -v ccache 2>/dev/null),)
CMAKE_FLAGS += -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
endif

.PHONY: all deps configure build run test bench fuzz install package clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

configure: $(BUILD_DIR)/build.ninja

build: deps configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/karto

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	cmake --build $(BUILD_DIR) -j $(JOBS) --target benchmarks
	@for b in $(BUILD_DIR)/bench/bench_*; do \
	  [ -f "$$b" ] && [ -x "$$b" ] || continue; echo "== $$b"; QT_QPA_PLATFORM=offscreen "$$b" || exit 1; done
	@echo "== $(BUILD_DIR)/bench/trace-fidelity"; QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bench/trace-fidelity

# libFuzzer targets of the XML and SVG parsers (clang, AddressSanitizer,
# UndefinedBehaviorSanitizer), each run for FUZZ_SECONDS, one after the
# other; FUZZ_TARGETS picks some (e.g. FUZZ_TARGETS="xml_reader color").
# Not part of `make test`.
FUZZ_BUILD_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?=

fuzz:
	@bash scripts/install-fuzz-deps.sh
	bash fuzz/run-fuzzers.sh $(FUZZ_BUILD_DIR) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# Installs both programs, the desktop entry, the icon and the manual page
# under PREFIX (/usr/local by default).
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# A Debian package of the programs in the build folder.
package: build
	cd $(BUILD_DIR) && cpack -G DEB

clean:
	rm -rf $(BUILD_DIR)
