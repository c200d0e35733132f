#!/usr/bin/env bash
# installed-app.sh BUILD_DIR [CMAKE]: installs the build into a temporary prefix and checks what a
# desktop user gets: a valid menu entry, the icon it names at every size of the hicolor theme, and
# the installed morvo, started by the entry's Exec name from an unrelated folder with an empty
# home, drawing its window on a virtual display and staying up.
#
# The window is read back from Xvfb's own framebuffer file (-fbdir): the app has no screenshot
# option, and a process that merely stays alive proves nothing about what it drew.
set -euo pipefail

build_dir=$1
cmake=${2:-cmake}
icon_sizes=(16 24 32 48 64 128 256 512)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

work=$(mktemp -d)
morvo_pid=""
xvfb_pid=""
cleanup() {
    set +e
    for pid in $morvo_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

prefix=$work/prefix
"$cmake" --install "$build_dir" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }

# --- the menu entry ---
[ -x "$prefix/bin/morvo" ] || fail "no executable bin/morvo"
entry=$prefix/share/applications/morvo.desktop
[ -f "$entry" ] || fail "no menu entry share/applications/morvo.desktop"
if command -v desktop-file-validate >/dev/null; then
    # Warnings and hints exit 0 but still print: any output counts.
    report=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $report"
    [ -z "$report" ] || fail "desktop-file-validate: $report"
else
    echo "desktop-file-validate is not installed: the entry's syntax is not checked"
fi
key() { sed -n "s/^$1=//p" "$entry" | head -n 1; }
[ "$(key Name)" = "Morvo" ] || fail "Name is '$(key Name)'"
[ "$(key Exec)" = "morvo" ] || fail "Exec is '$(key Exec)'"
icon=$(key Icon)
[ -n "$icon" ] || fail "the entry names no Icon"

# --- the icon at every size, a PNG of exactly that many pixels ---
png_signature="137 80 78 71 13 10 26 10"
for size in "${icon_sizes[@]}"; do
    png=$prefix/share/icons/hicolor/${size}x${size}/apps/$icon.png
    [ -f "$png" ] || fail "no icon ${size}x${size}/apps/$icon.png"
    signature=$(od -An -tu1 -N8 "$png" | xargs)
    [ "$signature" = "$png_signature" ] || fail "$png is not a PNG"
    # IHDR follows the signature: length, type, then width and height, big-endian.
    read -r width height < <(od -An -tu1 -j16 -N8 "$png" |
        awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4, $5 * 16777216 + $6 * 65536 + $7 * 256 + $8 }')
    [ "$width x $height" = "$size x $size" ] || fail "$png is $width x $height pixels"
done

# --- the installed app, on a virtual display ---
command -v Xvfb >/dev/null || fail "Xvfb is not installed (scripts/install-deps.sh installs it)"
home=$work/home
mkdir -p "$home" "$work/runtime" "$work/elsewhere" "$work/fb" "$work/tiny/folder"
chmod 700 "$work/runtime"
printf 'hello\n' >"$work/tiny/note.txt"
head -c 50000 /dev/zero >"$work/tiny/folder/data.bin"

# The window opens at 1340 by 860 at the top left of an otherwise empty screen.
Xvfb -screen 0 1340x900x24 -fbdir "$work/fb" -nolisten tcp -displayfd 3 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
deadline=$((SECONDS + 20))
while [ "$SECONDS" -lt "$deadline" ]; do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log"; fail "Xvfb did not start"; }
    sleep 0.1
done
display=$(head -n 1 "$work/display")
[ -n "$display" ] || fail "Xvfb named no display"

(cd "$work/elsewhere" && exec env -i PATH="$prefix/bin:/usr/bin:/bin" LANG=C.UTF-8 HOME="$home" \
    XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" XDG_CACHE_HOME="$home/.cache" \
    XDG_RUNTIME_DIR="$work/runtime" DISPLAY=":$display" QT_QPA_PLATFORM=xcb \
    "$(key Exec)" --scan "$work/tiny") >"$work/morvo.log" 2>&1 &
morvo_pid=$!

# Pixels of the window's three surfaces in the dark appearance (the default in an empty home):
# the background, the sidebar and the panels. The framebuffer file is an XWD image: a header of
# 32-bit big-endian fields (header_size first, bits_per_pixel the 12th, ncolors the 20th), a
# colour map of 12 bytes an entry, then the pixels.
framebuffer=$work/fb/Xvfb_screen0
[ -s "$framebuffer" ] || fail "Xvfb wrote no framebuffer file"
read -r -a header < <(od -An -tu4 --endian=big -N100 "$framebuffer" | xargs)
[ "${header[11]}" = 32 ] || fail "the framebuffer has ${header[11]} bits a pixel"
pixels_offset=$((header[0] + header[19] * 12))
surface_pixels() {
    od -An -v -tx4 -w4 -j "$pixels_offset" "$framebuffer" | grep -c -E '^ ..(101117|15161e|191b25)$' || true
}
window_pixels=$((1340 * 860))
drawn=0
deadline=$((SECONDS + 60))
while [ "$SECONDS" -lt "$deadline" ]; do
    kill -0 "$morvo_pid" 2>/dev/null || { cat "$work/morvo.log"; fail "morvo exited at start-up"; }
    drawn=$(surface_pixels)
    [ "$drawn" -ge $((window_pixels / 3)) ] && break
    sleep 0.5
done
[ "$drawn" -ge $((window_pixels / 3)) ] ||
    fail "the window was not drawn: $drawn of $window_pixels pixels show its surfaces"

sleep 3
kill -0 "$morvo_pid" 2>/dev/null || { cat "$work/morvo.log"; fail "morvo exited after drawing its window"; }
echo "installed morvo drew $drawn of $window_pixels window pixels in its surface colours"
if [ -s "$work/morvo.log" ]; then
    echo "morvo printed:"
    cat "$work/morvo.log"
fi
