# A new machine needs only these: `make run` to play, `make test` to test.
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
PKG_BUILD  ?= build-package
GENERATOR  ?= Ninja
JOBS       ?= $(shell nproc)

.PHONY: all deps configure build run test test-unit test-sanitize bench install package clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/vx-clackon

test-unit: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The whole suite once more under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	@cmake -S . -B $(SAN_BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DVX_SANITIZE=ON -DVX_BUILD_BENCHMARKS=OFF >/dev/null
	@cmake --build $(SAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitize/lsan.supp:print_suppressions=0 \
	ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS)

test: test-unit test-sanitize

bench: build
	bench/run-all $(BUILD)

install: build
	cmake --install $(BUILD)

# The Debian package, built on its own for /usr (the game there finds its sounds in /usr/share).
package: deps
	@cmake -S . -B $(PKG_BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
		-DVX_BUILD_TESTS=OFF -DVX_BUILD_BENCHMARKS=OFF -DVX_SOURCE_SOUNDS=OFF >/dev/null
	@cmake --build $(PKG_BUILD) -j $(JOBS) --target package
	@ls $(PKG_BUILD)/*.deb

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(PKG_BUILD)
