#!/usr/bin/env bash
# Installs what `make fuzz` needs on Debian: clang and the libFuzzer and
# sanitizer runtimes that belong to it. Idempotent and quick when everything
# is present: apt is only called for what is missing.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
updated=false
update_once() {
  if ! $updated; then
    $SUDO apt-get update -qq
    updated=true
  fi
}

if ! installed clang; then
  update_once
  $SUDO apt-get install -y -qq --no-install-recommends clang
fi

# The runtimes carry clang's major version in their package name:
# libclang-rt-N-dev (libFuzzer, ASan, UBSan), with the headers in
# libclang-common-N-dev.
major=$(clang++ --version | sed -n 's/.*clang version \([0-9][0-9]*\).*/\1/p' | head -n 1)
for pkg in "libclang-rt-$major-dev" "libclang-common-$major-dev"; do
  installed "$pkg" && continue
  update_once
  if apt-cache show "$pkg" >/dev/null 2>&1; then
    $SUDO apt-get install -y -qq --no-install-recommends "$pkg"
  fi
done

if ! find "/usr/lib/llvm-$major" -name 'libclang_rt.fuzzer*.a' 2>/dev/null | grep -q .; then
  echo "No libFuzzer runtime found for clang $major" >&2
  exit 1
fi
