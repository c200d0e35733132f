# The two set-up commands: `make run` and `make test`. Both install what is missing first.
ARGS ?=
.PHONY: deps build run install test sanitize fuzz clean

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake --preset default
	cmake --build --preset default

run: build
	@if [ -x build/default/Sources/Morvo/morvo ]; then build/default/Sources/Morvo/morvo $(ARGS); \
	else echo "The application is not built yet; the core library and morvo-bench are in build/default."; fi

# Installs morvo, its menu entry and its icon under PREFIX; PREFIX=~/.local needs no root.
PREFIX ?= /usr/local
install: build
	cmake --install build/default --prefix "$(patsubst ~/%,$(HOME)/%,$(PREFIX))"

test: build
	QT_QPA_PLATFORM=offscreen ctest --preset default

sanitize: deps
	cmake --preset sanitize
	cmake --build --preset sanitize
	ctest --preset sanitize

# The fuzz targets (clang, libFuzzer, ASan, UBSan), each run FUZZ_SECONDS from its seeds.
FUZZ_SECONDS ?= 60
fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz
	FUZZ_SECONDS=$(FUZZ_SECONDS) bash scripts/run-fuzzers.sh

clean:
	rm -rf build
