#!/usr/bin/env bash
# The Debian package, as a user gets it: made by cpack from the build folder, its files and fields
# checked, unpacked into a scratch root, and the unpacked zinna started from there on an X screen
# (run under run-on-xvfb.sh). She finds her character beside her own prefix: no ZINNA_DATA_DIR.
#   zinna-deb.sh CPACK BUILD_DIR
# Every wait is for a window or a property, never for a fixed time.
set -euo pipefail
cpack=$1 build=$2
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
until_true() {  # retries the command for up to 20 s
  local end=$((SECONDS + 20))
  until "$@"; do [ $SECONDS -lt $end ] || fail "timed out: $*"; sleep 0.05; done
}

# The package, into this test's own folder so that no older one is picked up. cpack first brings
# the build folder up to date (its preinstall step): after a full build that is a quick check.
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" -D CPACK_OUTPUT_FILE_PREFIX="$work/package" \
  >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack could not make the package"; }
debs=("$work"/package/zinna_*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single zinna_*.deb: ${debs[*]}"
deb=${debs[0]}
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
for file in /usr/bin/zinna /usr/share/zinna/zinna.acs /usr/share/zinna/LH1024x768.bmp \
  /usr/share/applications/zinna.desktop /usr/share/icons/hicolor/48x48/apps/zinna.png \
  /usr/share/metainfo/io.github.zinna.Zinna.metainfo.xml; do
  grep -qxF "$file" "$work/contents" || fail "the package lacks $file"
done
[ "$(dpkg-deb -f "$deb" Package)" = zinna ] || fail "the package is not named zinna"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libx11-6 libxft2 libglib2.0-0; do
  # A package name stands alone in the list: after a start or ", ", before a version, "," or the end.
  grep -qE "(^|, )$library( |,|$)" <<<"$depends" || fail "Depends does not name $library: $depends"
done

root=$work/root
dpkg-deb -x "$deb" "$root"
[ -x "$root/usr/bin/zinna" ] || fail "no runnable usr/bin/zinna in the unpacked package"

unset ZINNA_DATA_DIR
export ZINNA_DESKTOP=x11 XDG_STATE_HOME=$work/state
# A property that is absent reads "no such atom" until some client names the atom (zinna does, by
# reading it), and "not found" after: both say the same, that the root has no such property.
root_properties() { xprop -root _XROOTPMAP_ID ESETROOT_PMAP_ID 2>&1 | sed 's/no such atom on any window/not found/' || true; }
visible() { xdotool search --onlyvisible --class "$1" 2>/dev/null | head -n1; }
running() { kill -0 "$zpid" 2>/dev/null || fail "zinna ended before her window appeared: $(cat "$work/stderr")"; }
before=$(root_properties)

"$root/usr/bin/zinna" 2>"$work/stderr" &
zpid=$!
# Her window, not the message that her character could not be loaded.
until_true eval 'running; [ -z "$(visible "^ZinnaMessage$")" ] || fail "a message box: $(cat "$work/stderr")"; [ -n "$(visible "^Zinna$")" ]'
# Her wallpaper from the unpacked share/zinna on the root window while she runs.
until_true eval '[ "$(root_properties)" != "$before" ]'
kill -TERM $zpid
wait $zpid || fail "zinna ended with $? after SIGTERM: $(cat "$work/stderr")"
[ "$(root_properties)" = "$before" ] || fail "the root window's properties differ after SIGTERM: $(root_properties)"
echo "the unpacked package's zinna: all well"
