# Set-up, build, sample run and tests. `make run` and `make test` install
# everything they need on a fresh Debian machine (as root).

PYTHON      ?= python3
VENV        := .venv
VPY         := $(VENV)/bin/python
DEB_PACKAGES := g++ make nlohmann-json3-dev libssl-dev libcli11-dev libgtest-dev libzstd-dev zstd clang-19 libclang-rt-19-dev
PY_PACKAGES := scikit-build-core cmake ninja pytest numpy mypy
SAMPLE      := examples/agents
ASAN_DIR    := build/asan
UNIT_DIR    := build/unit
TSAN_DIR    := build/tsan
ASAN_LIBS    = $(shell g++ -print-file-name=libasan.so) $(shell g++ -print-file-name=libubsan.so)
FUZZ_DIR    := build/fuzz
FUZZ_CXX    ?= clang++-19
FUZZ_TIME   ?= 60
# Seeds: the bundled sample and the real-data corpus beside the checkout.
FUZZ_SEEDS  ?= examples $(abspath ../shared/corpus)

.PHONY: all deps venv install run test test-python test-asan test-tsan test-unit fuzz-build fuzz test-fuzz clean

all: install

# Debian packages, installed only when missing.
deps:
	@missing=""; for p in $(DEB_PACKAGES); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

$(VENV)/.ready:
	$(PYTHON) -m venv $(VENV)
	$(VPY) -m pip install -q --upgrade pip
	$(VPY) -m pip install -q $(PY_PACKAGES)
	touch $@

venv: deps $(VENV)/.ready

# The module and the command-line program into the virtualenv.
install: venv
	$(VPY) -m pip install -q --no-build-isolation .

run: install
	$(VENV)/bin/vellumtrace $(SAMPLE) --format jsonl

# C++ unit tests (plain build) for what Python cannot reach.
test-unit: venv
	$(VENV)/bin/cmake -S . -B $(UNIT_DIR) -G Ninja -DVELLUMTRACE_PYTHON=OFF \
	  -DVELLUMTRACE_BUILD_TESTS=ON -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja) >/dev/null
	$(VENV)/bin/cmake --build $(UNIT_DIR)
	cd $(UNIT_DIR) && $(abspath $(VENV)/bin/ctest) --output-on-failure

test-python: install
	$(VPY) -m pytest -q tests

# The same suites against a build with AddressSanitizer and UBSan.
test-asan: venv
	$(VENV)/bin/cmake -S . -B $(ASAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVELLUMTRACE_SANITIZE=ON -DVELLUMTRACE_BUILD_TESTS=ON \
	  -DPython_EXECUTABLE=$(abspath $(VPY)) \
	  -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja) >/dev/null
	$(VENV)/bin/cmake --build $(ASAN_DIR)
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=0 $(abspath $(VENV)/bin/ctest) --output-on-failure
	ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LD_PRELOAD="$(ASAN_LIBS)" PYTHONMALLOC=malloc \
	  VELLUMTRACE_BUILD_DIR=$(abspath $(ASAN_DIR)) PYTHONPATH=$(abspath $(ASAN_DIR)) \
	  $(VPY) -m pytest -q -p no:cacheprovider tests

# The concurrent reading under ThreadSanitizer (the threading tests only).
test-tsan: venv
	$(VENV)/bin/cmake -S . -B $(TSAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVELLUMTRACE_TSAN=ON -DVELLUMTRACE_BUILD_TESTS=ON -DVELLUMTRACE_PYTHON=OFF \
	  -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja) >/dev/null
	$(VENV)/bin/cmake --build $(TSAN_DIR) --target vellumtrace_unit_tests
	TSAN_OPTIONS=halt_on_error=1 $(TSAN_DIR)/vellumtrace_unit_tests --gtest_filter='ParallelFiles.*:ThreadedRun.*'

# libFuzzer targets (clang, ASan and UBSan), each run for FUZZ_TIME seconds.
fuzz-build: venv
	$(VENV)/bin/cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=$(FUZZ_CXX) -DVELLUMTRACE_PYTHON=OFF -DVELLUMTRACE_FUZZ=ON \
	  -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja) >/dev/null
	$(VENV)/bin/cmake --build $(FUZZ_DIR)

fuzz: fuzz-build
	$(VPY) tests/fuzz/run_fuzz.py --build $(FUZZ_DIR) --seconds $(FUZZ_TIME) \
	  $(foreach s,$(FUZZ_SEEDS),--seeds $(s))

# A short run of every target keeps them alive.
test-fuzz:
	$(MAKE) fuzz FUZZ_TIME=10

test: test-unit test-python test-asan test-tsan test-fuzz

clean:
	rm -rf build $(VENV)
