#!/usr/bin/env bash
# Runs each fuzz target for SECONDS (default 30) with ASan and UBSan.
#   fuzz/run.sh [SECONDS]
# The working corpus lives in build/fuzz/corpus and grows from run to run;
# it starts from fuzz/seeds plus real headers and sources of this machine.
# Crashes land in build/fuzz/findings.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"

scripts/install-deps

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target line_fuzzer file_fuzzer batch_fuzzer

# Absolute paths: each target works in a directory of its own.
corpus="$PWD/build/fuzz/corpus"
findings="$PWD/build/fuzz/findings"
mkdir -p "$corpus/line" "$corpus/file" "$corpus/batch" "$findings"
cp -n fuzz/seeds/line/* "$corpus/line/"
cp -n fuzz/seeds/file/* "$corpus/file/"
cp -n fuzz/seeds/batch/* "$corpus/batch/"
# Real text: the example project and some of the system's headers.
n=0
for header in examples/hello/*.c examples/hello/*.h examples/hello/include/*.h /usr/include/*.h; do
  [ -f "$header" ] || continue
  [ "$(stat -c %s "$header")" -le 4096 ] || continue
  name=$(echo "$header" | tr '/' '_')
  [ -e "$corpus/file/real$name" ] || cp "$header" "$corpus/file/real$name"
  [ -e "$corpus/line/real$name" ] || { printf '#include <h.h>\n'; cat "$header"; } > "$corpus/line/real$name"
  n=$((n + 1))
  [ "$n" -lt 80 ] || break
done

status=0
for target in line_fuzzer file_fuzzer batch_fuzzer; do
  kind=${target%_fuzzer}
  log="$PWD/build/fuzz/$kind.log"
  echo "== $target for ${seconds}s (log: $log)"
  if ! build/fuzz/$target "$corpus/$kind" -dict="$PWD/fuzz/vimbo.dict" -max_len=4096 \
      -max_total_time="$seconds" -artifact_prefix="$findings/$kind-" -print_final_stats=1 >"$log" 2>&1; then
    status=1
    tail -n 40 "$log"
  fi
  grep -E '^#[0-9]+.*(DONE|cov:)' "$log" | tail -n 1
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$log" || true
done
[ "$status" -eq 0 ] && echo "no findings" || echo "findings in $findings"
exit $status
