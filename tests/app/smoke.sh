#!/usr/bin/env bash
# Starts the real program under Xvfb on a JPEG and checks that its window shows the picture;
# then on a damaged JPEG, which must give a message box while the program runs on.
set -euo pipefail
prog=$1
work=$(mktemp -d)
n=91; while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n+1)); done
Xvfb :$n -screen 0 1024x768x24 -noreset -nolisten tcp >/dev/null 2>&1 & xvfb=$!
pids=()
# The programs end before the display does, and the verdict stays what the checks said.
cleanup() {
    local status=$?
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
    kill $xvfb 2>/dev/null || true
    wait $xvfb 2>/dev/null || true
    rm -rf "$work" || true
    exit $status
}
trap cleanup EXIT
export DISPLAY=:$n HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data TMPDIR=$work/tmp
export XDG_RUNTIME_DIR=$work/run LANG=C.UTF-8
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$TMPDIR" "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
# ImageMagick itself, not a stand-in that may come first on PATH.
convert=$(command -v convert-im6.q16 || command -v convert)
for i in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# Four flat quadrants: red, green, blue, yellow, 200 x 150 each.
"$convert" -size 200x150 xc:'#ff0000' xc:'#00ff00' +append \( -size 200x150 xc:'#0000ff' xc:'#ffff00' +append \) \
    -append -quality 95 "$work/quad.jpg"

"$prog" "$work/quad.jpg" & pids+=($!)
xdotool search --sync --onlyvisible --name '^Pictlane Type II$' >/dev/null
# Each quadrant's colour must cover most of its 30000 pixels on screen (looked for a few times:
# a busy machine may paint late).
for attempt in $(seq 20); do
    sleep 0.5
    import -window root "$work/shot.png"
    found=0
    for colour in '#FF0000' '#00FF00' '#0000FF' '#FFFF00'; do
        count=$("$convert" "$work/shot.png" -fuzz 4% -fill black +opaque "$colour" -fill white -opaque "$colour" \
            -format '%[fx:int(mean*w*h+0.5)]' info:)
        [ "$count" -gt 25000 ] && found=$((found+1))
    done
    [ "$found" -eq 4 ] && break
done
echo "quadrants on screen: $found of 4"
[ "$found" -eq 4 ] || { echo "the picture is not on screen"; exit 1; }
# Asked to stop, it closes as on a normal exit and leaves no private temporary folder behind.
kill "${pids[-1]}"; wait "${pids[-1]}" 2>/dev/null || true
left=$(find "$TMPDIR" -maxdepth 1 -name 'pictlane-*' | wc -l)
[ "$left" -eq 0 ] || { echo "temporary folder left behind after SIGTERM"; exit 1; }

# The same with a modal dialog open: started on a .jpz, it waits for its passphrase.
"$prog" "$(dirname "$0")/../crypt/fixtures/ascii.jpz" & jpz=$!; pids+=($jpz)
for i in $(seq 50); do
    [ "$(xdotool search --onlyvisible --name 'パスフレーズを入力して下さい' | wc -l)" -ge 1 ] && break; sleep 0.1
done
kill $jpz
for i in $(seq 50); do kill -0 $jpz 2>/dev/null || break; sleep 0.1; done
kill -0 $jpz 2>/dev/null && { echo "still running after SIGTERM with a dialog open"; exit 1; }
left=$(find "$TMPDIR" -maxdepth 1 -name 'pictlane-*' | wc -l)
[ "$left" -eq 0 ] || { echo "temporary folder left behind after SIGTERM in a dialog"; exit 1; }

printf 'this is not a jpeg' > "$work/bad.jpg"
"$prog" "$work/bad.jpg" & bad=$!; pids+=($bad)
xdotool search --sync --onlyvisible --name '^Pictlane Type II$' >/dev/null
for i in $(seq 50); do
    [ "$(xdotool search --onlyvisible --name '^Pictlane Type II$' | wc -l)" -ge 2 ] && break; sleep 0.1
done
boxes=$(xdotool search --onlyvisible --name '^Pictlane Type II$' | wc -l)
kill -0 $bad || { echo "the program died on a damaged JPEG"; exit 1; }
[ "$boxes" -ge 2 ] || { echo "no message box for the damaged JPEG"; exit 1; }
echo "smoke: 1 passed, 0 failed"
