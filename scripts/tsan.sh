#!/usr/bin/env bash
# ThreadSanitizer lane: builds the suite with -fsanitize=thread in
# build-tsan/ and runs the tests in which another thread polls what the
# library lets it poll (the programming engine's progress, the chain's
# creation state) while the long operation runs, and the tests of the
# simulator's own serving thread, and the acquisition engine's sampling and
# supervising threads beside a consumer.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh > /dev/null
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEL_TSAN=ON \
    -DZEL_BUILD_BENCH=OFF > /dev/null
cmake --build build-tsan -j "$(nproc)" --target programming_test chain_test module_lifecycle_test answer_pairing_test \
    acquisition_test
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
ctest --test-dir build-tsan --output-on-failure -j 4 \
    -R 'Class1FirmwareWithANewBootloaderIsSentAfterAReset|ShuffledMixedChainComesOutInPhysicalOrder|TheSimulatorStandsUpEveryIdentityOfTheTable|AnswerPairing.(Datagrams|Late)|Acquisition\.'
