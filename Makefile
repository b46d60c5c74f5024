# Front door of the Kelpo32 build. `make run` and `make test` are all a newcomer needs:
# both install what is missing (make deps) and build what is out of date first.

JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 15

.PHONY: all deps dist native win32 win64 test run clean unit sanitize fuzz e2e bench

all: dist

deps:
	@scripts/deps.sh

# Configure a preset once, then let the generator rebuild only what changed.
build/%/build.ninja:
	cmake --preset $* >/dev/null

native: deps build/native/build.ninja
	cmake --build --preset native -j $(JOBS)

win32: deps build/win32/build.ninja
	cmake --build --preset win32 -j $(JOBS)

win64: deps build/win64/build.ninja
	cmake --build --preset win64 -j $(JOBS)

dist: native win32 win64
	@mkdir -p dist/win32 dist/win64 dist/samples
	cp build/win32/src/win32/Kelpo32.exe dist/win32/Kelpo32.exe
	cp build/win64/src/win32/Kelpo32.exe dist/win64/Kelpo32.exe
	cp build/win32/tools/kptool/kptool.exe dist/win32/kptool.exe
	cp build/win64/tools/kptool/kptool.exe dist/win64/kptool.exe
	cp build/native/tools/kptool/kptool dist/kptool
	dist/kptool build samples/kelpo/kelpo.kps -o dist/samples/kelpo.kp
	@echo "dist: dist/win32/Kelpo32.exe dist/win64/Kelpo32.exe dist/win32/kptool.exe dist/win64/kptool.exe dist/kptool dist/samples/kelpo.kp"

# Every test: unit and kptool tests natively, the unit tests again under the sanitizers, the
# fuzz targets for a short fixed time, and the end-to-end cases under Wine.
test: dist
	@scripts/test.sh

unit: native
	cd build/native && ctest --output-on-failure -j $(JOBS)

sanitize: deps build/sanitize/build.ninja
	cmake --build --preset sanitize -j $(JOBS)
	cd build/sanitize && ctest --output-on-failure -j $(JOBS)

fuzz: deps build/fuzz/build.ninja
	cmake --build --preset fuzz -j $(JOBS)
	tests/fuzz/run_fuzzers.sh $(FUZZ_SECONDS)

e2e: dist
	python3 tests/e2e/run_e2e.py --dist dist

bench: native
	@for b in build/native/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

run: dist
	@scripts/run.sh

# What Kelpo32.exe costs under Wine next to the least program doing the same work, each build that
# this machine can run for 60 s animating, 30 s standing still, then its start-up and 100 moves of
# the target followed, about four minutes a build (bench/wine/measure.py; MEASURE_ARGS="--rounds 3
# --update-readme" measures three times and writes the README's figures). It prints figures and
# fails only when it could not measure.
.PHONY: measure
measure: native win32 win64
	python3 bench/wine/measure.py --arch win32 --arch win64 $(MEASURE_ARGS)

# A ten-minute run of the sample under Wine (bench/wine/soak.py): the program's GDI objects and
# memory must stay flat after the first minute. Not part of `make test`; SOAK_SECONDS=N runs N s.
SOAK_SECONDS ?= 600
.PHONY: soak
soak: dist
	SOAK_SECONDS=$(SOAK_SECONDS) python3 bench/wine/soak.py

clean:
	rm -rf build dist
