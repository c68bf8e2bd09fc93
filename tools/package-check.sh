#!/usr/bin/env bash
# Checks the install tree and the Debian package of an existing build:
# installs into a temporary prefix and lists it, makes the package with
# cpack, installs it with dpkg, runs the installed programs and removes the
# package again. Needs root for dpkg.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${Q58_BUILD_DIR:-build}")
version=$(sed -n 's/^#define Q58_VERSION_STRING "\(.*\)"$/\1/p' "$build/generated/q58_version.h")
[ -n "$version" ] || { echo "no version in $build/generated/q58_version.h" >&2; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

echo "== cmake --install to a temporary prefix"
# Staged under DESTDIR: the GStreamer plugin's folder is absolute (GStreamer's
# own), and it must land in the scratch folder too, not in the system.
DESTDIR="$scratch/root" cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
(cd "$scratch/root" && find . -type f | sort)
mv "$scratch/root$scratch/prefix" "$scratch/prefix"
for f in bin/q58 bin/q58info share/man/man1/q58.1 share/man/man1/q58info.1 share/doc/q58/LICENSE; do
  [ -f "$scratch/prefix/$f" ] || { echo "missing from the install tree: $f" >&2; exit 1; }
done
# The GStreamer plugin, in the folder the build was configured with, when built.
gst_dir=$(sed -n 's/^Q58_GST_PLUGINS_DIR:PATH=//p' "$build/CMakeCache.txt")
if [ -f "$build/gstreamer/plugins/libgstq58.so" ]; then
  case "$gst_dir" in /*) gst_tree="$scratch/root$gst_dir" ;; *) gst_tree="$scratch/prefix/$gst_dir" ;; esac
  [ -f "$gst_tree/libgstq58.so" ] || { echo "missing from the install tree: $gst_dir/libgstq58.so" >&2; exit 1; }
fi
grep -q "q58 $version" "$scratch/prefix/share/man/man1/q58.1"
grep -q "q58 $version" "$scratch/prefix/share/man/man1/q58info.1"
[ "$("$scratch/prefix/bin/q58info" --version)" = "q58 $version" ]

echo "== cpack -G DEB"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/q58_"$version"_*.deb)
dpkg-deb --info "$deb" | grep -E 'Package|Version|Depends|Architecture'
dpkg-deb --contents "$deb"

if [ "$(id -u)" -ne 0 ]; then
  echo "dpkg -i needs root: run this check as root" >&2
  exit 1
fi
echo "== dpkg -i, run, dpkg -r"
dpkg -i "$deb" >/dev/null
trap 'dpkg -r q58 >/dev/null 2>&1 || true; rm -rf "$scratch"' EXIT
[ "$(/usr/bin/q58info --version)" = "q58 $version" ]
/usr/bin/q58info --version
# The library: header, pkg-config file, and the dynamic linker's cache
# updated by the package's ldconfig trigger.
[ -f /usr/include/q58.h ]
pkg-config --exists q58 2>/dev/null || [ -n "$(find /usr/lib -name q58.pc -path '*pkgconfig*' -print -quit)" ]
# grep reads the whole listing: with -q it would stop at the first match and,
# under pipefail, ldconfig's broken pipe would fail the check.
ldconfig -p | grep 'libq58\.so\.1 ' >/dev/null
# The GStreamer plugin, found by GStreamer where it looks by itself.
if [ -f "$build/gstreamer/plugins/libgstq58.so" ] && [ "${gst_dir#/}" != "$gst_dir" ] && command -v gst-inspect-1.0 >/dev/null; then
  env -u GST_PLUGIN_PATH GST_REGISTRY="$scratch/registry.bin" gst-inspect-1.0 q58dec >/dev/null
  echo "gst-inspect-1.0 finds the installed q58 plugin"
fi
"$build/q58_make_sample" "$scratch/tone.wav" 1
(cd "$scratch" && /usr/bin/q58 tone.wav >/dev/null)
/usr/bin/q58info "$scratch/tone.q58" | grep -E '^(status|frames) '
dpkg -r q58 >/dev/null
[ ! -e /usr/bin/q58 ] && [ ! -e /usr/bin/q58info ] && [ ! -e /usr/include/q58.h ]
[ "${gst_dir#/}" = "$gst_dir" ] || [ ! -e "$gst_dir/libgstq58.so" ]
echo "package check passed: q58 $version installed, ran and was removed"
