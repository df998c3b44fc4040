# The two everyday commands: `make run` and `make test`.
JOBS ?= $(shell nproc)
RUN_DIR := build/release
TEST_DIR := build/test
BENCH_DIR := build/bench
FUZZ_DIR := build/fuzz

.PHONY: all run test soak mutants bench fuzz bench-build fuzz-build ci bootstrap clean format

all: test

# Besides the packages, run fetches the docs page's Swagger UI, and test
# also the browser that checks it.
run: BOOTSTRAP_EXTRAS = swagger-ui
test: BOOTSTRAP_EXTRAS = swagger-ui chromium
bootstrap:
	@scripts/bootstrap.sh $(BOOTSTRAP_EXTRAS)

$(RUN_DIR)/CMakeCache.txt: | bootstrap
	cmake -S . -B $(RUN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIV_BUILD_TESTS=OFF

run: bootstrap $(RUN_DIR)/CMakeCache.txt
	cmake --build $(RUN_DIR) -j$(JOBS)
	$(RUN_DIR)/tools/kiv serve --plugin $(RUN_DIR)/src/collections/libkiv_collections.so \
	  --world worlds/default.json $(RUN_ARGS)

test: bootstrap
	cmake -S . -B $(TEST_DIR) -DCMAKE_BUILD_TYPE=Debug -DKIV_SANITIZE=ON -DKIV_BUILD_TESTS=ON
	cmake --build $(TEST_DIR) -j$(JOBS)
	ctest --test-dir $(TEST_DIR) --output-on-failure -j$(JOBS)

# SOAK_S seconds of four clients, faults and latency against the test build
# of kiv serve (SOAK_SEED=N replays a seed's mix).
SOAK_S ?= 120
soak: bootstrap
	cmake -S . -B $(TEST_DIR) -DCMAKE_BUILD_TYPE=Debug -DKIV_SANITIZE=ON -DKIV_BUILD_TESTS=ON
	cmake --build $(TEST_DIR) --target kiv kiv_collections_plugin -j$(JOBS)
	python3 scripts/soak.py --kiv $(TEST_DIR)/tools/kiv \
	  --plugin $(TEST_DIR)/src/collections/libkiv_collections.so --seconds $(SOAK_S) \
	  $(if $(SOAK_SEED),--seed $(SOAK_SEED))

# Each mutation of scripts/mutants.txt alone, built and run against the
# suite (MUTANTS_ONLY=ID,ID for a few); prints killed/total and the survivors.
mutants: BOOTSTRAP_EXTRAS = swagger-ui chromium
mutants: bootstrap
	JOBS=$(JOBS) scripts/mutants.sh

# The *-build targets build without running, so CI proves that bench and
# fuzz still build (Release and clang catch what the test build does not).
bench-build: bootstrap
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DKIV_BUILD_TESTS=OFF -DKIV_BUILD_BENCH=ON
	cmake --build $(BENCH_DIR) -j$(JOBS)

bench: bench-build
	@scripts/run_bench.sh $(BENCH_DIR)

fuzz-build: bootstrap
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIV_BUILD_TESTS=OFF -DKIV_BUILD_FUZZ=ON
	cmake --build $(FUZZ_DIR) -j$(JOBS)

fuzz: fuzz-build
	@scripts/run_fuzz.sh $(FUZZ_DIR)

# What CI runs: every test, and the benchmark and fuzz builds.
ci: test bench-build fuzz-build

format:
	git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	rm -rf build
