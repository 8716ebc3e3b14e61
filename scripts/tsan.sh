#!/usr/bin/env bash
# The batch engine's tests under ThreadSanitizer: the run's promises with a
# scripted office on several threads, and real offices with two documents in
# flight (one of them killed). Needs what `dev.sh test` installs.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-tsan"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build "$build" --target tst_batchrun_gates tst_convert_office
# The offices are started by fork from a threaded program, as always; the
# child only makes system calls before it starts the office.
export TSAN_OPTIONS="halt_on_error=1 die_after_fork=0 suppressions=$top/tests/sanitizers/tsan.supp"
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
"$build/bin/tst_batchrun_gates"
"$build/bin/tst_convert_office"
