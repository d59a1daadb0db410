# Quillmar: repository commands. CMake does the building; this file only wraps it.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
TSAN_BUILD ?= build-tsan
TSAN_SECONDS ?= 60
FUZZ_BUILD ?= build-fuzz
MAC_BUILD ?= build-mac
SOAK_SECONDS ?= 600
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
# The suite runs in any order, each test with a settings folder of its own, in a home whose
# settings it must never touch.
CTEST_ARGS ?= --schedule-random
RUN_TESTS = tests/with_fake_home.sh ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

.PHONY: deps deps-hosts configure build test run bench sanitize tsan fuzz fuzz-smoke soak skin goldens toolkit-sample \
	tables install-lv2 auval mac-view install uninstall package guide-pictures mutate mutate-selftest test-pipewire clean

deps:
	@./tools/deps.sh

# quillmar live through PipeWire's JACK library against a PipeWire daemon of the test's own
# (apart from make test: that library loses a client now and then on this system), and the
# guide's system-wide correction in a whole PipeWire session (Pulse server, session manager).
test-pipewire: build deps-hosts
	@QUILLMAR_PIPEWIRE_CHECK=1 ctest --test-dir $(BUILD) -R '^LiveUnderPipeWire\.' --output-on-failure
	@tests/hosts/pipewire_system_test.sh $(BUILD)/quillmar

# The real LV2 hosts that the tests load the bundle in (and the benchmark's other equalisers).
deps-hosts:
	@./tools/deps.sh hosts

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build deps-hosts
	@$(RUN_TESTS) --test-dir $(BUILD)

# The Audio Unit validator: loads build/au/Quillmar.component as macOS does (its Info.plist,
# its code, the factory function) and runs every phase.
auval: build
	@$(BUILD)/quillmar_auval --bundle $(BUILD)/au/Quillmar.component

# The Cocoa view against GNUstep's AppKit: its own build of the component with the Cocoa editor
# (only what the view and its test host need), then the window test on a private Xvfb.
mac-view: deps
	@./tools/deps.sh mac
	@cmake -S . -B $(MAC_BUILD) -DCMAKE_BUILD_TYPE=Release -DQUILLMAR_MAC_VIEW=ON -DQUILLMAR_BENCH=OFF >/dev/null
	@cmake --build $(MAC_BUILD) --target mac_view_test -j $(JOBS)
	@ctest --test-dir $(MAC_BUILD) -R '^mac_view_window$$' --output-on-failure

run: build
	@$(BUILD)/quillmar demo out

bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b --benchmark_min_time=0.2 || exit 1; done

sanitize: deps
	@cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMAR_SANITIZE=ON >/dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	@ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  $(RUN_TESTS) --test-dir $(SANITIZE_BUILD)

# The thread stress under ThreadSanitizer: its own build of only what the stress needs.
tsan: deps
	@cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMAR_TSAN=ON >/dev/null
	@cmake --build $(TSAN_BUILD) --target stress_threads -j $(JOBS)
	@QUILLMAR_RESOURCES=$(CURDIR)/resources \
	  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/stress/tsan.supp" \
	  $(TSAN_BUILD)/tests/stress_threads --seconds $(TSAN_SECONDS)

# The fuzz targets: clang with libFuzzer, ASan and UBSan, in their own build folder.
fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQUILLMAR_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) --target fuzz -j $(JOBS)

# Each target for FUZZ_SECONDS (default 60) from its committed seeds, one after another.
fuzz-smoke: fuzz
	@ctest --test-dir $(FUZZ_BUILD) --output-on-failure

# Four instances under random automation, host calls and editor frames for SOAK_SECONDS.
soak: build
	@QUILLMAR_RESOURCES=$(CURDIR)/resources $(BUILD)/tests/soak --seconds $(SOAK_SECONDS)

skin: build
	@cmake --build $(BUILD) --target quillmar_skin -j $(JOBS)
	@$(BUILD)/tools/skin/quillmar_skin resources/img

goldens: build
	@QUILLMAR_UPDATE_GOLDENS=1 ctest --test-dir $(BUILD) -R '[Gg]olden' --output-on-failure

toolkit-sample: build
	@mkdir -p out && $(BUILD)/tools/toolkit_sample out/toolkit-sample.png && echo "wrote out/toolkit-sample.png"

# The LV2 bundle, with its resources, into $LV2_INSTALL_DIR (default ~/.lv2).
install-lv2: build
	@./tools/install-lv2.sh $(BUILD)/lv2/quillmar.lv2

# The program, its resources, the LV2 bundle, the man page, the completion and the documents
# under PREFIX (default /usr/local), below DESTDIR when it is set.
install: configure
	@cmake --build $(BUILD) --target quillmar_install_parts -j $(JOBS)
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# Removes what the last `make install` of this build folder wrote (give the same DESTDIR).
uninstall:
	@DESTDIR="$(DESTDIR)" cmake --build $(BUILD) --target uninstall

# The Debian package $(BUILD)/quillmar_<version>_<arch>.deb, installing under /usr.
package: deps configure
	@cmake --build $(BUILD) --target quillmar_install_parts -j $(JOBS)
	@cd $(BUILD) && cpack -G DEB --config CPackConfig.cmake

# The user guide's pictures (docs/guide/*.png), drawn by quillmar snapshot as listed in
# docs/guide/pictures.txt; a test fails when they are stale.
guide-pictures: build
	@./tools/guide-pictures.sh $(BUILD)/quillmar docs/guide

# The mutation runner (tools/mutate, docs/TESTING.md): FILES="src/... src/..." or
# LAYER=engine|plugin|editor|framework|au|lv2|cli|core, MUTANTS=N (a seeded sample per file,
# SEED), JOBS, SUITE=1 (judged by the whole suite), LINES=17,19 (only the mutants on those
# lines), NO_COVERAGE=1 (every test of the file's programs, no coverage run). Its build folders
# are under build-mutate/.
FILES ?=
LAYER ?=
MUTANTS ?=
SEED ?=
SUITE ?=
LINES ?=
NO_COVERAGE ?=
mutate: deps
	@exec python3 tools/mutate/mutate.py --files "$(FILES)" --layer "$(LAYER)" --mutants "$(MUTANTS)" \
	  --seed "$(SEED)" --jobs "$(JOBS)" --suite "$(SUITE)" --lines "$(LINES)" $(if $(filter-out 0,$(NO_COVERAGE)),--no-coverage)

# The mutation runner's own check, on a small project it makes (about a minute and a half).
mutate-selftest:
	@python3 tools/mutate/selftest.py

tables: configure
	@cmake --build $(BUILD) --target tables

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(MAC_BUILD)
