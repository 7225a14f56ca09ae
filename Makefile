# Entry points for people and CI. Every target installs what is missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
DEB_BUILD  ?= build-deb
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps build test e2e-deps test-asan fuzz-smoke deb deb-check bench run format format-check clean

all: build

deps:
	@scripts/install-deps.sh build

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS)

# The browser tests need Chromium and Node.js (Debian) and playwright-core
# (npm, from tests/e2e/package-lock.json; installed again only when
# node_modules is missing or older than the lock file). No browser is ever
# downloaded: the tests drive Debian's Chromium.
E2E_DIR := tests/e2e

e2e-deps:
	@scripts/install-deps.sh browser
	@$(MAKE) --no-print-directory $(E2E_DIR)/node_modules/.package-lock.json

$(E2E_DIR)/node_modules/.package-lock.json: $(E2E_DIR)/package-lock.json $(E2E_DIR)/package.json
	cd $(E2E_DIR) && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund
	@touch $@

test: build e2e-deps
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# AddressSanitizer and UndefinedBehaviorSanitizer over the unit tests.
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DREQWIZ_SANITIZE=ON $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -L unit

# The libFuzzer targets of fuzz/ (clang), each run from its seed corpus for
# FUZZ_SECONDS; fails on any crash, leak, timeout or sanitizer report.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_JOBS    ?= 2
fuzz-smoke:
	@scripts/install-deps.sh fuzz
	FUZZ_BUILD=$(FUZZ_BUILD) FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_JOBS=$(FUZZ_JOBS) \
	    CMAKE_ARGS="$(CMAKE_ARGS)" scripts/fuzz-smoke.sh

# The Debian package, from a Release build of the program alone in
# $(DEB_BUILD)/: $(DEB_BUILD)/reqwiz_VERSION_ARCH.deb.
deb: deps
	@scripts/install-deps.sh package
	cmake -S . -B $(DEB_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS)
	cmake --build $(DEB_BUILD) -j $(JOBS) --target reqwiz-packed reqwiz-package-files
	rm -f $(DEB_BUILD)/reqwiz_*.deb
	cd $(DEB_BUILD) && cpack -G DEB

# The package checked as a user meets it: lintian, the desktop entry and the
# metadata, then installed on this machine (needs root), run, and removed.
deb-check: deb
	scripts/deb-check.sh $(DEB_BUILD)/reqwiz_*.deb $(DEB_BUILD)/reqwiz

bench: build
	@echo "benchmarks are in $(BUILD)/ (bench_*) and bench/*.sh"

# Starts the wizard on the shipped profile (packed into $(BUILD)/reqwiz) in a
# browser window. Extra switches go in ARGS, e.g. make run ARGS='/ZIP other.zip'.
ARGS ?=
run: build
	@scripts/install-deps.sh browser
	$(BUILD)/reqwiz $(ARGS)

# The code kept in third_party/ is left as its authors wrote it.
format:
	clang-format -i $$(git ls-files '*.cpp' '*.h' ':!:third_party/')

format-check:
	clang-format --dry-run -Werror $$(git ls-files '*.cpp' '*.h' ':!:third_party/')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)

	rm -rf $(BUILD) $(ASAN_BUILD) $(DEB_BUILD)
