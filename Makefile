# Two entry points: `make run` shows the system working, `make test` builds
# and passes every test.  Both install whatever the machine is missing first.
#
# The deployed binaries are 32-bit (build/i686).  Tests run on the architecture
# this machine's Wine can execute (scripts/test-arch.sh): i686 where the kernel
# runs 32-bit programs, otherwise the same sources built for x86_64.
JOBS ?= 2
export JOBS

.PHONY: all deps build test run bench clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@scripts/build.sh i686 $(CURDIR)/build/i686

test: deps
	@arch=$$(scripts/test-arch.sh); \
	if [ $$arch != i686 ]; then scripts/build.sh i686 $(CURDIR)/build/i686 -DVELMORA_TESTS=OFF || exit 1; fi; \
	scripts/build.sh $$arch $(CURDIR)/build/$$arch -DVELMORA_TESTS=ON && \
	scripts/wine-prefix.sh $(CURDIR)/build/$$arch $$arch && \
	scripts/run-tests.sh $(CURDIR)/build/$$arch $$arch

run: deps
	@arch=$$(scripts/test-arch.sh); \
	scripts/build.sh $$arch $(CURDIR)/build/$$arch && \
	scripts/wine-prefix.sh $(CURDIR)/build/$$arch $$arch && \
	scripts/run.sh $(CURDIR)/build/$$arch $$arch

# Benchmark figures of the server in one table (scripts/run-bench.sh).  Only
# the benchmark programs and what they measure are built, not the tests.
bench: deps
	@arch=$$(scripts/test-arch.sh); \
	BUILD_TARGET=opc_bench scripts/build.sh $$arch $(CURDIR)/build/$$arch -DVELMORA_TESTS=ON && \
	scripts/wine-prefix.sh $(CURDIR)/build/$$arch $$arch && \
	scripts/run-bench.sh $(CURDIR)/build/$$arch $$arch

clean:
	rm -rf build
