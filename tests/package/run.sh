#!/usr/bin/env bash
# The release as a user gets it: install into a scratch prefix, the Debian
# package and the tarball made by scripts/package, lintian, and the render
# tool, the host checks and the editor run from the unpacked package.
# Usage: run.sh BUILD_DIR HOST_TESTS. Fails on the first fault, saying which.
set -euo pipefail
build=$1 host_tests=$2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d) home=$work/home
trap 'rm -rf "$work"' EXIT
fail () { echo "package test: $*" >&2; exit 1; }
mkdir -p "$home"

# cmake --install puts every file where the user guide says: it lists them as
# "<prefix>/..." lines, one ending in "/" standing for a folder and all in it.
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
mapfile -t listed < <(grep -o '^<prefix>/[^ ]*' "$source_dir/docs/USER_GUIDE.md" | sed 's|^<prefix>/||')
[ "${#listed[@]}" -ge 5 ] || fail "the guide lists no installed paths"
for path in "${listed[@]}"; do
  [ -e "$prefix/$path" ] || fail "the guide lists <prefix>/$path, which was not installed"
done
while IFS= read -r file; do
  covered=no
  for path in "${listed[@]}"; do
    if [ "$file" = "$path" ] || { [ "${path%/}" != "$path" ] && [[ "$file" == "$path"* ]]; }; then covered=yes; fi
  done
  [ $covered = yes ] || fail "<prefix>/$file is installed but the guide does not say so"
done < <(cd "$prefix" && find . -type f | sed 's|^\./||' | sort)

bash "$source_dir/scripts/package" "$build" "$work/dist"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb="$work/dist/quenrileq_${version}_$(dpkg --print-architecture).deb"
tarball="$work/dist/quenrileq-$version-linux-x86_64.tar.gz"
[ -f "$deb" ] && [ -f "$tarball" ] || fail "missing $deb or $tarball"
dpkg-deb --field "$deb" Depends | grep -q 'libwebkit2gtk-4.1-0' || fail "the browser helper's libraries are not among the dependencies"
lintian --pedantic --fail-on error,warning "$deb" 2>/dev/null || fail "lintian reports errors or warnings (or could not run)"

# The unpacked package renders (finding the bundle of its own prefix), loads in
# the host harness and installs its presets.
root=$work/root
dpkg-deb -x "$deb" "$root"
bundle=$root/usr/lib/vst3/QuenrilEQ.vst3
out=$(HOME=$home "$root/usr/bin/quenrileq-render" --preset "$bundle/Contents/Resources/presets/Telephone.quenrileqpreset" \
        --generate sine:1000 --seconds 1 "$work/telephone.wav")
echo "$out" | grep -q '^latency: 0 samples' || fail "render from the package: $out"
shipped=$(cd "$bundle/Contents/Resources/presets" && ls | sort)
[ "$shipped" = "$(cd "$home/Documents/QuenrilEQ/presets/Factory" && ls | sort)" ] || fail "the factory presets did not reach the user's presets/Factory"
[ "$(cat "$home/Documents/QuenrilEQ/state/factory-presets.version")" = "$version" ] || fail "no version marker"
HOME=$home "$root/usr/bin/quenrileq-render" --preset "$bundle/Contents/Resources/presets/Rumble Cut.quenrileqpreset" \
  --response "$work/rumble.svg" >/dev/null
grep -q '<polyline' "$work/rumble.svg" || fail "no response picture"
HOME=$home QEQ_TEST_BUNDLE=$bundle "$host_tests" --gtest_filter='QuenrilEQBundle.*' --gtest_brief=1

# The tarball's tools find the bundle beside them.
mkdir -p "$work/tar"
tar -C "$work/tar" -xzf "$tarball"
out=$(HOME=$home "$work/tar/quenrileq-$version-linux-x86_64/bin/quenrileq-render" --generate noise --seconds 1 "$work/noise.wav")
echo "$out" | grep -q '^latency: 0 samples' || fail "render from the tarball: $out"

# The packaged editor starts its packaged browser helper and lists the factory presets.
if command -v xvfb-run >/dev/null; then
  ready='document.body.dataset.ready === "true" && QEQ.presets.names().some((n) => n.startsWith("Factory/"))'
  out=$(HOME=$home xvfb-run -a -s "-noreset -screen 0 1920x1080x24" "$root/usr/bin/quenrileq-editor" --seconds 60 \
          --wait-for "$ready" --eval 'QEQ.presets.names().filter((n) => n.startsWith("Factory/")).length' --linger 1) ||
    fail "the packaged editor did not load its page"
  [ "$(echo "$out" | tail -n 1)" = "$(echo "$shipped" | wc -l)" ] || fail "the editor lists $out factory presets"
fi
echo "package test: all good"
