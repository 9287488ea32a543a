# make demo   - run the installer for real on a demo package under Wine
# make test   - build everything and run every test
# make dist   - the shipped executables in dist/
# make bench  - build and run the benchmarks; writes bench/results.md
# make screenshots - refresh the pictures in docs/ from the real program
.PHONY: all deps build test dist demo bench screenshots clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@scripts/build.sh

test: deps
	@scripts/test.sh

dist: deps
	@scripts/dist.sh

demo: deps
	@scripts/demo.sh

bench: deps
	@bench/run.sh

# Refreshes the pictures in docs/ from the real program under Xvfb.
screenshots: deps
	@scripts/screenshots.sh

clean:
	rm -rf build dist
