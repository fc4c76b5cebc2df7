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

# Benchmarks, in an optimised tree of their own; not part of make test.
bench: deps
	cmake -S . -B $(BUILD)-bench -G Ninja -DCMAKE_BUILD_TYPE=Release \
	    -DPANTROVO_BUILD_BENCH=ON -DPANTROVO_BUILD_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD)-bench
	QT_QPA_PLATFORM=offscreen $(BUILD)-bench/bench/bench_files
	QT_QPA_PLATFORM=offscreen $(BUILD)-bench/bench/bench_keystroke

# The README's picture of the window.
screenshot: build
	scripts/screenshot.sh $(PROGRAM) docs/screenshot.png

clean:
	rm -rf $(BUILD)

# The Debian package, from the same install rules as `cmake --install`. It holds only the
# program, so only the program is built for it.
package: configure
	cmake --build $(BUILD) --target pantrovo-importer
	cd $(BUILD) && cpack -G DEB

# Installs into a scratch folder and checks the desktop entry and metainfo found there.
# --no-net: the screenshot and home page URLs are not reachable from a build machine.
validate: configure
	cmake --build $(BUILD) --target pantrovo-importer
	rm -rf $(BUILD)/stage
	cmake --install $(BUILD) --prefix $(BUILD)/stage
	desktop-file-validate $(BUILD)/stage/share/applications/pantrovo-importer.desktop
	appstreamcli validate --no-net $(BUILD)/stage/share/metainfo/io.pantrovo.Importer.metainfo.xml

# Installs the package into a fresh Debian 12 root and starts it there (as root, downloads).
package-test: package
	scripts/test-package-debootstrap.sh $$(ls -t $(BUILD)/pantrovo-importer_*.deb | head -1)

.PHONY: package validate package-test
