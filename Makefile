# The README's commands. Each one installs what is missing, configures and builds first.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=
PROGRAM = $(BUILD)/src/pantrovo-importer

.PHONY: all deps configure build run test bench screenshot clean sanitize fuzz tidy package \
    validate package-test

all: build

# The groups of scripts/install-deps.sh that each target needs on top of the build's own.
# `deps` installs those of every target on the command line, so `make test run` gets both.
deps_run = run
deps_screenshot = run
deps_test = test
deps_bench = bench
deps_sanitize = sanitize
deps_fuzz = sanitize
deps_tidy = tidy
deps_package = package
deps_validate = validate
deps_package-test = package package-test
deps:
	scripts/install-deps.sh build $(foreach goal,$(MAKECMDGOALS),$(deps_$(goal)))

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD)

# The program alone: a user who only wants the window does not wait for the tests.
run: configure
	@[ -e $(PROGRAM) ] || echo "Building the program for the first time: about a minute on two cores."
	cmake --build $(BUILD) --target pantrovo-importer
	scripts/run.sh $(PROGRAM)

test: build
	QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD) --output-on-failure

# Benchmarks, in an optimised tree of their own; not part of make test. The paste through the X
# clipboard needs an X server, and gets a virtual one of its own.
bench: deps
	cmake -S . -B $(BUILD)-bench -G Ninja -DCMAKE_BUILD_TYPE=Release \
	    -DPANTROVO_BUILD_BENCH=ON -DPANTROVO_BUILD_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD)-bench
	QT_QPA_PLATFORM=offscreen $(BUILD)-bench/bench/bench_files
	QT_QPA_PLATFORM=offscreen $(BUILD)-bench/bench/bench_keystroke
	QT_QPA_PLATFORM=offscreen $(BUILD)-bench/bench/bench_editing
	xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb $(BUILD)-bench/bench/bench_clipboard

# The whole program and every test built with AddressSanitizer and UndefinedBehaviorSanitizer
# (clang), and every test run under them; any finding fails the test that met it.
SANITIZE_ENV = QT_QPA_PLATFORM=offscreen \
    ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
    LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
sanitize: deps
	cmake -S . -B $(BUILD)-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DPANTROVO_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD)-asan
	$(SANITIZE_ENV) ctest --test-dir $(BUILD)-asan --output-on-failure

# Feeds generated files through the reader and the writer for FUZZ_SECONDS, starting from the
# seed files in fuzz/corpus; what it learns goes to fuzz/corpus-work (not kept in git), and an
# input that fails is written to $(BUILD)-fuzz/ as crash-*.
FUZZ_SECONDS ?= 60
fuzz: deps
	cmake -S . -B $(BUILD)-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DPANTROVO_BUILD_FUZZ=ON \
	    -DPANTROVO_BUILD_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD)-fuzz --target fuzz_csvfile
	mkdir -p fuzz/corpus-work
	$(SANITIZE_ENV) $(BUILD)-fuzz/fuzz/fuzz_csvfile -max_total_time=$(FUZZ_SECONDS) \
	    -artifact_prefix=$(BUILD)-fuzz/ -print_final_stats=1 fuzz/corpus-work fuzz/corpus

# Static checks: clang-tidy with the project's .clang-tidy over every source file, then
# cppcheck; a finding from either fails. The tree is built first so that moc's files exist.
tidy: deps
	cmake -S . -B $(BUILD)-tidy -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ $(CMAKE_FLAGS)
	cmake --build $(BUILD)-tidy
	run-clang-tidy -quiet -p $(BUILD)-tidy '$(CURDIR)/(src|tests|fuzz)/.*\.cpp$$'
	cppcheck --enable=warning,style,performance,portability --std=c++20 --language=c++ \
	    --library=qt --inline-suppr --error-exitcode=1 --quiet --suppressions-list=cppcheck.supp \
	    -I src/sheet -I src/csv -I src/frmImport -I tests src tests fuzz

# The README's picture of the window.
screenshot: configure
	cmake --build $(BUILD) --target pantrovo-importer
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
