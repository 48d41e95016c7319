#!/bin/bash
# Installs the build into a temporary prefix and uses it as an outside project would: checks that
# nothing installed refers to the build or source tree, builds the consumer with find_package(Tarvik)
# and with pkg-config, and runs it (and the managed assembly, when Mono is there) against the installed
# `tarvik machine` on 127.0.0.1.
#   install_test.sh BUILD_DIR SOURCE_DIR
set -u
build=$(realpath "$1")
source=$(realpath "$2")
work=$(mktemp -d)
machine_pid=
cleanup() {
  if [ -n "$machine_pid" ]; then kill "$machine_pid" 2>/dev/null; wait "$machine_pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" > "$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }

# Text files (CMake package, pkg-config file, manifest, docs) must not name either tree.
leaks=$(grep -rIl -e "$build" -e "$source" "$prefix")
[ -z "$leaks" ] || fail "installed files refer to the build or source tree: $leaks"
# Nor may a binary carry a run-time search path into them.
while IFS= read -r f; do
  if readelf -d "$f" 2>/dev/null | grep -E 'RPATH|RUNPATH' | grep -q -e "$build" -e "$source"; then
    fail "$f has a run-time path into the build or source tree"
  fi
done < <(find "$prefix" -type f \( -name '*.so' -o -path '*/bin/*' \))

[ -x "$prefix/bin/tarvik" ] || fail "bin/tarvik not installed"
# The dissector installed is the one the installed tarvik prints.
dissector=$(find "$prefix" -path '*/wireshark/plugins/mevrix.lua' | head -n1)
[ -n "$dissector" ] || fail "the Wireshark dissector is not installed"
cmp -s "$dissector" <("$prefix/bin/tarvik" wireshark-dissector) || fail "$dissector differs from tarvik wireshark-dissector"
if [ -e "$prefix/bin/RpcTarvikTest" ]; then
  module=$(awk '$1 == "module" {print $2}' "$prefix/bin/RpcTarvikTest.manifest")
  [ -f "$prefix/bin/$module" ] || fail "RpcTarvikTest.manifest names $module, which is not installed"
fi

launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$source/examples/consumer" -B "$work/consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" "${launcher[@]}" > "$work/configure.log" 2>&1 \
  || { cat "$work/configure.log"; fail "configuring the consumer with find_package(Tarvik)"; }
cmake --build "$work/consumer" > "$work/build.log" 2>&1 || { cat "$work/build.log"; fail "building the consumer"; }

pc_path=$(dirname "$(find "$prefix" -name tarvik.pc | head -n1)")
# shellcheck disable=SC2046
c++ -o "$work/consumer-pc" "$source/examples/consumer/consumer.cpp" \
  $(PKG_CONFIG_PATH="$pc_path" pkg-config --cflags --libs tarvik) || fail "building the consumer with pkg-config"

"$prefix/bin/tarvik" machine --port 0 > "$work/machine.out" 2> "$work/machine.err" &
machine_pid=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/^{"listening":\([0-9]*\)}$/\1/p' "$work/machine.out")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { cat "$work/machine.err"; fail "tarvik machine did not start"; }

for consumer in "$work/consumer/consumer" "$work/consumer-pc"; do
  out=$(timeout 60 "$consumer" --machine-port "$port" --machine-ip 127.0.0.1) || fail "$consumer exited $?"
  [ "$out" = '{"telegram":"T_DATA_M","status":0}' ] || fail "$consumer printed: $out"
done
calls=2
# The managed assembly from its installed place: the .dll.config must find the native library beside it.
cli="$prefix/lib/cli/vortane-tarvik-rpc"
if [ -f "$cli/Vortane.Tarvik.Rpc.dll" ]; then
  [ -f "$cli/Vortane.Tarvik.Rpc.xml" ] || fail "the assembly's XML documentation is not installed beside it"
fi
if [ -f "$cli/Vortane.Tarvik.Rpc.dll" ] && command -v mcs > /dev/null && command -v mono > /dev/null; then
  mcs -nologo -platform:x64 -r:"$cli/Vortane.Tarvik.Rpc.dll" -out:"$work/ManagedConsumer.exe" \
    "$source/examples/consumer/managed/ManagedConsumer.cs" || fail "building ManagedConsumer.exe"
  out=$(MONO_PATH="$cli" timeout 60 mono "$work/ManagedConsumer.exe" "$port") || fail "ManagedConsumer.exe exited $?"
  [ "$out" = '{"telegram":"T_DATA_M","status":0}' ] || fail "ManagedConsumer.exe printed: $out"
  calls=3
fi
[ "$(grep -c '"telegram":"T_DATA_M"' "$work/machine.out")" = "$calls" ] || fail "the machine did not see all $calls calls"
grep -q '"Name1":"PART01"' "$work/machine.out" || fail "the machine saw other fields: $(cat "$work/machine.out")"

# With the machine gone the call fails and the runtime's status is printed, not a success.
kill "$machine_pid"; wait "$machine_pid" 2>/dev/null; machine_pid=
out=$(timeout 60 "$work/consumer/consumer" --machine-port "$port") || fail "consumer exited $? without a machine"
[ "$out" = '{"telegram":"T_DATA_M","status":1722}' ] || fail "without a machine the consumer printed: $out"

"$work/consumer/consumer" --machine-port 70000 > /dev/null 2>&1
[ $? = 2 ] || fail "a port above 65535 was accepted"
echo "install, find_package, pkg-config and T_DATA_M through the installed tree: ok"
