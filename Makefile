# make run: install what is missing, build and start Glyphwell.
# make test: install what is missing, build with sanitizers and run every test.
# make bench: build optimised and run the benchmarks (recognition, overlay, capture latency, command line,
#   the kinds of selection people make, beside raw tesseract and the build of the previous commit;
#   GLYPHWELL_BENCH_BASE=REV compares with another commit).
# make install [PREFIX=/usr/local] [DESTDIR=staging]: build optimised and install.
# make package: build optimised and make the .deb (build/release/glyphwell_VERSION_amd64.deb).
# make fuzz [FUZZ_SECONDS=60]: build the libFuzzer harnesses (build/fuzz) and run each that long.
# make check-nopch: the program's sources checked without precompiled headers (syntax only, warnings as errors).

CXX := clang++
GENERATOR := Ninja
BUILD := build
PREFIX ?= /usr/local
FUZZ_SECONDS ?= 60

.PHONY: run test bench deps clean install package fuzz check-nopch

deps:
	@scripts/install-deps

$(BUILD)/release/build.ninja: | deps
	cmake -S . -B $(BUILD)/release -G $(GENERATOR) -DCMAKE_CXX_COMPILER=$(CXX) \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLYPHWELL_TESTS=OFF

run: deps $(BUILD)/release/build.ninja
	cmake --build $(BUILD)/release
	$(BUILD)/release/glyphwell

test: deps
	cmake -S . -B $(BUILD)/test -G $(GENERATOR) -DCMAKE_CXX_COMPILER=$(CXX) \
	    -DCMAKE_BUILD_TYPE=Debug -DGLYPHWELL_SANITIZE=ON -DGLYPHWELL_TESTS=ON -DGLYPHWELL_WERROR=ON
	cmake --build $(BUILD)/test
	cd $(BUILD)/test && ctest --output-on-failure --timeout 300

bench: deps
	cmake -S . -B $(BUILD)/bench -G $(GENERATOR) -DCMAKE_CXX_COMPILER=$(CXX) \
	    -DCMAKE_BUILD_TYPE=Release -DGLYPHWELL_TESTS=OFF -DGLYPHWELL_BENCH=ON
	cmake --build $(BUILD)/bench --target recognition_bench overlay_bench capture_latency glyphwell
	cd $(BUILD)/bench && OMP_THREAD_LIMIT=1 QT_QPA_PLATFORM=offscreen ./bench/recognition_bench
	tests/x11/run-with-xvfb $(BUILD)/bench/bench/overlay_bench 20
	tests/x11/run-with-xvfb bench/capture_latency.sh $(BUILD)/bench 12 "$$(bench/build-previous.sh $(BUILD))"
	OMP_THREAD_LIMIT=1 bench/cli_accuracy.py $(BUILD)/bench/glyphwell
	bench/kinds.py $(BUILD)/bench/glyphwell --previous "$$(bench/build-previous.sh $(BUILD))"

install: deps $(BUILD)/release/build.ninja
	cmake --build $(BUILD)/release
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD)/release --prefix "$(PREFIX)"

package: deps $(BUILD)/release/build.ninja
	cmake --build $(BUILD)/release
	cd $(BUILD)/release && cpack -G DEB

fuzz: deps
	cmake -S . -B $(BUILD)/fuzz -G $(GENERATOR) -DCMAKE_CXX_COMPILER=$(CXX) \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLYPHWELL_FUZZ=ON -DGLYPHWELL_TESTS=OFF
	cmake --build $(BUILD)/fuzz --target fuzzers
	fuzz/run-fuzzers $(BUILD)/fuzz $(FUZZ_SECONDS)

# Precompiled headers hide a missing #include; this shows one for a fraction of a build, as the
# compiler stops before generating code.
check-nopch: deps
	cmake -S . -B $(BUILD)/nopch -G $(GENERATOR) -DCMAKE_CXX_COMPILER=$(CXX) \
	    -DCMAKE_BUILD_TYPE=Debug -DGLYPHWELL_PCH=OFF -DGLYPHWELL_WERROR=ON -DGLYPHWELL_TESTS=ON
	scripts/syntax-check $(BUILD)/nopch src

clean:
	rm -rf $(BUILD)
