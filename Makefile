# The two set-up commands: `make run` and `make test`. `make bench` runs the benchmarks.
BUILD ?= build
BENCH_BUILD ?= build-bench
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test bench sanitize sanitize-thread screenshots clean

all: build

deps:
	tools/install-deps

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Starts the program with the simulated acquisition device, so a live ECG shows
# without hardware. Without a display it runs offscreen.
run: build
	MALVORANT_DEVICE=$${MALVORANT_DEVICE:-simulated} \
	QT_QPA_PLATFORM=$${QT_QPA_PLATFORM:-$$( [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ] && echo xcb || echo offscreen )} \
	$(BUILD)/app/Malvorant

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Every benchmark is built and run even when one fails; the end names each
# that failed to build or to run, and then the target fails.
BENCHES = $(sort $(basename $(notdir $(wildcard bench/bench_*.cpp))))
bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DMALVORANT_TESTS=OFF -DMALVORANT_BENCH=ON
	@failed=""; \
	if ! cmake --build $(BENCH_BUILD) -j $(JOBS) --target benchmarks; then \
	  for b in $(BENCHES); do \
	    cmake --build $(BENCH_BUILD) -j $(JOBS) --target $$b || failed="$$failed $$b(build)"; \
	  done; \
	fi; \
	for b in $(BENCHES); do \
	  case "$$failed " in *" $$b(build) "*) continue;; esac; \
	  echo "== $$b"; \
	  $(BENCH_BUILD)/bench/$$b || failed="$$failed $$b(exit $$?)"; \
	done; \
	if [ -n "$$failed" ]; then echo "bench: failed:$$failed" >&2; exit 1; fi

# Pictures of the main window in every display state, the splash screen, each
# alert and view, the chart views and report pages, at 1280 x 800 under Xvfb
# with OpenGL forced, into $(BUILD)/screenshots.
screenshots: build
	rm -rf $(BUILD)/screenshots && mkdir -p $(BUILD)/screenshots
	xvfb-run -a -s "-screen 0 1280x800x24" env QT_QPA_PLATFORM=xcb QT_XCB_GL_INTEGRATION=xcb_glx \
	  QSG_RHI_BACKEND=opengl LIBGL_ALWAYS_SOFTWARE=1 \
	  $(BUILD)/tests/app/malvorant_screenshots $(BUILD)/screenshots
	@if command -v xvfb-run >/dev/null; then cmake --build $(BUILD) -j $(JOBS) --target chart_screenshots_run; fi
	$(BUILD)/app/report/report_screenshots $(BUILD)/screenshots

# The tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	cmake -S . -B build-asan -DMALVORANT_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)

# The DICOM front, the background upload, the bridge's DICOM flows and the
# clients under them again under ThreadSanitizer (suppressions: tests/tsan.supp).
TSAN_TESTS = tst_dcmcomm tst_dcmscheduler tst_dicomflows tst_dcmstorescu tst_dcmfindscu tst_dcmmovescu
sanitize-thread: deps
	cmake -S . -B build-tsan -DMALVORANT_SANITIZE_THREAD=ON
	cmake --build build-tsan -j $(JOBS) --target $(TSAN_TESTS)
	cd build-tsan && ctest --output-on-failure -j $(JOBS) -R '^($(subst $(eval) ,|,$(TSAN_TESTS)))$$'

clean:
	rm -rf $(BUILD) $(BENCH_BUILD) build-asan build-tsan
