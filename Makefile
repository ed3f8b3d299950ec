# A new machine needs only these: `make run` to play, `make test` to test.
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
GENERATOR  ?= Ninja
JOBS       ?= $(shell nproc)

.PHONY: all deps configure build run test test-unit test-sanitize bench install clean

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

test: test-unit

bench: build
	bench/run-all $(BUILD)

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(SAN_BUILD)
