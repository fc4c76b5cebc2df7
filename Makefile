# The README's commands. Each one installs what is missing, configures and builds first.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=
PROGRAM = $(BUILD)/src/pantrovo-importer

.PHONY: all deps configure build run test bench screenshot clean

all: build

deps:
	scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD)

run: build
	scripts/run.sh $(PROGRAM)

test: build
	QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD) --output-on-failure

# The README's picture of the window.
screenshot: build
	scripts/screenshot.sh $(PROGRAM) docs/screenshot.png

clean:
	rm -rf $(BUILD)
