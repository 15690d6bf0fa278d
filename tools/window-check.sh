#!/usr/bin/env bash
# Drives the real Tessane window under Xvfb with a window manager, with real clicks and keys
# (xdotool), and saves screenshots of each step. Checks what can be seen from outside (dialog
# sizes, files written, the process ending) and prints one line per check; exit status 1 when
# any check failed. Look at the screenshots too: they are the point.
#
#   tools/window-check.sh [OUT_DIR [REFERENCE_DIR]]    (OUT_DIR default: a new temporary folder)
#
# With REFERENCE_DIR (the OUT_DIR of an earlier run, say before a change) the window's own
# screenshots taken before any run must match it pixel for pixel above the status bar, except the
# text inside the list (it holds this run's temporary paths). Shots with a text caret are left out:
# it blinks.
# TESSANE=path/to/tessane picks the program (default build/src/app/tessane).
# The window is also read from outside over AT-SPI (tools/window_atspi.py, as a screen reader
# reads it), and its answers to X requests are timed during a run of 50-megapixel pictures
# (tools/x_roundtrip.c).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
program=${TESSANE:-$root/build/src/app/tessane}
out=${1:-$(mktemp -d -t tessane-window-XXXXXX)}
reference=${2:-}
mkdir -p "$out"
work=$(mktemp -d -t tessane-XXXXXX)
failures=0
pids=()

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  [ -n "${DBUS_SESSION_BUS_PID:-}" ] && kill "$DBUS_SESSION_BUS_PID" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

check() {  # check NAME CONDITION...
  local name=$1
  shift
  if "$@"; then echo "ok    $name"; else echo "FAIL  $name"; failures=$((failures + 1)); fi
}

for tool in Xvfb openbox xdotool xwininfo xprop xclip import convert compare dbus-launch cc; do
  command -v "$tool" >/dev/null || { echo "missing: $tool (scripts/install-deps.sh)"; exit 2; }
done
[ -x "$program" ] || { echo "no program at $program (build it first)"; exit 2; }
/usr/bin/python3 -c 'import gi; gi.require_version("Atspi", "2.0")' 2>/dev/null ||
  { echo "missing: python3-pyatspi (scripts/install-deps.sh)"; exit 2; }
cc -O2 -o "$work/x_roundtrip" "$root/tools/x_roundtrip.c" -lX11 || exit 2
# One session bus for the accessibility bus the window publishes itself on.
eval "$(dbus-launch --sh-syntax)"
export DBUS_SESSION_BUS_ADDRESS

# Sources: small pictures, two damaged ones, and a set of large ones for the closing check.
mkdir -p "$work/photos" "$work/big" "$work/home"
for i in 1 2 3 4 5; do
  convert -size 320x200 "gradient:#3070c0-#f0d070" "$work/photos/photo$i.png"
done
printf 'not a picture' >"$work/photos/damaged1.jpg"
printf '\xff\xd8\xff\xe0 cut short' >"$work/photos/damaged2.jpg"
convert -size 2400x1800 plasma:fractal "$work/big/big0.png"
for i in $(seq 1 24); do cp "$work/big/big0.png" "$work/big/big$i.png"; done

display_number=97
start_display() {  # start_display WIDTHxHEIGHT
  Xvfb ":$display_number" -screen 0 "${1}x24" -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  pids+=("$xvfb_pid")
  export DISPLAY=":$display_number"
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  openbox >"$work/openbox.log" 2>&1 &
  wm_pid=$!
  pids+=("$wm_pid")
  sleep 1
}
stop_display() {
  kill "$wm_pid" "$xvfb_pid" 2>/dev/null
  wait "$wm_pid" "$xvfb_pid" 2>/dev/null
  display_number=$((display_number + 1))
}

# Starts the program with the given paths listed; sets $app and $win. The options of the last
# close are forgotten unless KEEP_SETTINGS=1.
start_app() {
  [ "${KEEP_SETTINGS:-0}" = 1 ] || rm -rf "$work/home/config"
  (cd "$work/home" && exec env HOME="$work/home" XDG_DATA_HOME="$work/home/data" \
    XDG_CONFIG_HOME="$work/home/config" XDG_RUNTIME_DIR="$work/home" \
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 ${APP_ENV:-} "$program" "$@") >"$work/app.log" 2>&1 &
  app=$!
  pids+=("$app")
  win=""
  for _ in $(seq 100); do
    win=$(xdotool search --name '^Tessane 5\.5$' 2>/dev/null | head -1)
    [ -n "$win" ] && break
    sleep 0.1
  done
  sleep 0.8
}
scale=1
# Window coordinates of the 96-dpi layout, scaled like the window.
at() { awk -v s="$scale" -v x="$1" -v y="$2" 'BEGIN { printf "%d %d", x * s + 0.5, y * s + 0.5 }'; }
click() {  # click X Y [COUNT]
  # shellcheck disable=SC2046
  xdotool mousemove --window "$win" $(at "$1" "$2") click --repeat "${3:-1}" --delay 120 1
  sleep 0.4
}
shot_window() { import -window "$win" "$out/$1.png"; }
# The window with what floats over it (tool tips, boxes), from the screen.
shot_around_window() {
  local x y w h
  read -r x y w h <<<"$(geometry "$win")"
  import -window root -crop "$((w + 240))x$((h + 80))+$((x - 40))+$((y - 40))" +repage "$out/$1.png"
}
shot_screen() { import -window root "$out/$1.png"; }
window_named() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
wait_window() {  # wait_window NAME -> id or empty
  local id=""
  for _ in $(seq 50); do id=$(window_named "$1"); [ -n "$id" ] && break; sleep 0.1; done
  echo "$id"
}
geometry() {  # geometry ID -> "X Y W H" of the frame as placed on the screen
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
    /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}'
}
inside_screen() {  # inside_screen "X Y W H" SCREEN_W SCREEN_H
  local x y w h
  read -r x y w h <<<"$1"
  [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le "$2" ] && [ $((y + h)) -le "$3" ]
}
count_files() { find "$1" -maxdepth 1 -type f | wc -l; }
# What the window shows, read over AT-SPI: atspi name PREFIX, atspi wait PREFIX SECONDS, ...
atspi() { /usr/bin/python3 "$root/tools/window_atspi.py" "$app" "$@" 2>/dev/null; }
status_bar() { atspi dump | sed -n "s/^ *status bar: '\(.*\)' *$/\1/p"; }
sums() { md5sum "$@" | md5sum; }
has_text() { grep -qF -- "$1" <<<"$2"; }  # has_text NEEDLE HAYSTACK

# ---- 1920x1080: skin, drop-downs, idle errors, failures, missing destination, paste, dialogs
start_display 1920x1080
start_app "$work/photos"
check "window is up" test -n "$win"
check "window has an icon" sh -c "xprop -id $win _NET_WM_ICON | grep -q CARDINAL"
shot_window window-skinned

click 480 13  # "Use skin" off
xdotool mousemove --window "$win" 5 470  # the pointer off the controls for a quiet status bar
sleep 0.5
shot_window window-unskinned
click 480 13  # and on again
xdotool mousemove --window "$win" 5 470
sleep 0.5
shot_window window-skinned-again
# The status bar shows the hint under the pointer: compare everything above it.
convert "$out/window-skinned.png" -crop "$(at 562 462 | tr ' ' x)+0+0" "$work/a.png"
convert "$out/window-skinned-again.png" -crop "$(at 562 462 | tr ' ' x)+0+0" "$work/b.png"
check "skin on again restores the window exactly" \
  sh -c "[ \"\$(compare -metric AE '$work/a.png' '$work/b.png' null: 2>&1)\" = 0 ]"

# Typing in the drop-downs completes to the first match.
click 490 388
xdotool key ctrl+a BackSpace
xdotool type --delay 100 m
click 238 442
xdotool key ctrl+a BackSpace
xdotool type --delay 100 .p
sleep 0.3
shot_window dropdowns-typed

# Two damaged entries previewed while idle: each error is shown, no run starts.
# The list holds the folder's files in natural name order.
mapfile -t damaged_rows < <(ls -v "$work/photos" | grep -n damaged | cut -d: -f1)
row_y() { echo $((32 + 13 * ($1 - 1))); }
before=$(count_files "$work/photos")
for row in "${damaged_rows[@]}"; do
  click 100 "$(row_y "$row")" 2
  box=$(wait_window '^Tessane$')
  if [ "$row" = "${damaged_rows[0]}" ]; then
    shot_screen idle-error
    # The box's text ends with the file's path in brackets (list entries hold it bare).
    check "the preview error names the file" has_text "[$work/photos/damaged" "$(atspi dump)"
  fi
  [ -n "$box" ] && xdotool key Return
  sleep 0.5
done
sleep 1
check "errors while idle write nothing" test "$(count_files "$work/photos")" = "$before"

# A destination that does not exist: No leaves the run unstarted, Yes creates it.
dest="$work/out/new"
click 327 234
xdotool key ctrl+a BackSpace
xdotool type --delay 20 "$dest"
click 375 319  # START
box=$(wait_window '^Confirm$')
shot_screen create-destination-question
check "START asks to create a missing destination" test -n "$box"
xdotool key n
sleep 0.8
check "No leaves the run unstarted" test ! -e "$dest"
click 375 319
box=$(wait_window '^Confirm$')
xdotool key y
sleep 4
check "Yes creates the destination and runs" test -d "$dest"
check "the good files are written" test "$(count_files "$dest")" = 5
# shellcheck disable=SC2046
xdotool mousemove --window "$win" $(at 100 "$(row_y "${damaged_rows[0]}")")  # rest on a failed entry
sleep 2.5
shot_around_window run-with-failures-tooltip
# The finished run in both skin states, for the documentation.
xdotool mousemove --window "$win" 5 470
sleep 0.5
shot_window docs-window
click 480 13
xdotool mousemove --window "$win" 5 470
sleep 0.5
shot_window docs-window-unskinned
click 480 13

# Ctrl+V in the list pastes files copied in a file manager.
printf 'file://%s\n' "$work/big/big1.png" "$work/big/big2.png" |
  xclip -selection clipboard -t text/uri-list &
pids+=($!)
sleep 0.5
click 300 150
xdotool key ctrl+v
sleep 0.8
shot_window pasted
kill "$app" 2>/dev/null
wait "$app" 2>/dev/null

# The file dialogs fit the screen, at both common sizes.
check_dialogs() {  # check_dialogs WIDTH HEIGHT
  start_app
  for button in "116 234 Select image files" "188 234 Select Directory"; do
    read -r bx by title <<<"$button"
    click "$bx" "$by"
    dialog=$(wait_window "^$title\$")
    geo=$(geometry "$dialog")
    check "\"$title\" within ${1}x$2 ($geo)" inside_screen "$geo" "$1" "$2"
    shot_screen "dialog-${title// /-}-${1}x$2"
    xdotool key Escape
    sleep 0.5
  done
  kill "$app" 2>/dev/null
  wait "$app" 2>/dev/null
}
check_dialogs 1920 1080
stop_display
start_display 1366x768
check_dialogs 1366 768
stop_display

# ---- Closing during a run: the files handed over finish, the window closes, the process ends.
start_display 1920x1080
start_app "$work/big"
mkdir -p "$work/closed"
click 327 234
xdotool type --delay 10 "$work/closed"
click 375 319
sleep 1.5
xdotool key alt+F4
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
check "closing during a run ends the process" sh -c "! kill -0 $app 2>/dev/null"
written=$(count_files "$work/closed")
sleep 2
check "nothing is written after the close ($written of 25)" \
  test "$(count_files "$work/closed")" = "$written" -a "$written" -lt 25
check "no temporary file is left" \
  test "$(find "$work/closed" -name '.*' -type f | wc -l)" = 0
stop_display

# ---- Originals are safe: Overwrite on and the destination empty, Return on both boxes.
start_display 1366x768
cp -r "$work/photos" "$work/safe"
start_app "$work/safe"
safe_sums=$(sums "$work"/safe/*)
click 469 415  # the resize group's "Overwrite"
click 375 319  # START
wait_window '^Warning$' >/dev/null
xdotool key Return  # the empty destination's warning: OK
second=$(atspi wait "Overwrite is on" 10)
shot_screen overwrite-second-confirmation
check "a second box counts the originals at stake" has_text "7 source files would be replaced" "$second"
xdotool key Return  # its default button
sleep 1.5
check "Return on it replaces no original" test "$(sums "$work"/safe/*)" = "$safe_sums"
check "and starts no run" test "$(atspi name 'File activity')" = "File activity: "
kill "$app" 2>/dev/null
wait "$app" 2>/dev/null

# ---- Phones' formats, a damaged picture and a name with no readable type: each gets its outcome.
mkdir -p "$work/phone" "$work/phone-out"
for f in heif/photo.heic webp/lossy.webp avif/photo.avif jxl/lossy.jxl; do
  cp "$root/tests/data/$f" "$work/phone/"
done
convert -size 256x256 gradient:red-blue -quality 90 "$work/whole.jpg"
head -c $(($(stat -c %s "$work/whole.jpg") * 2 / 3)) "$work/whole.jpg" >"$work/phone/cut.jpg"
printf 'hello' >"$work/phone/notes.txt"
: >"$work/phone/empty.jpg"
start_app "$work/phone" "$work/phone/notes.txt"
check "HEIC, AVIF, WebP and JPEG XL are listed; a .txt is not" test "$(atspi name 'Files:')" = "Files: 6"
click 327 234
xdotool type --delay 10 "$work/phone-out"
click 375 319
activity=$(atspi wait "File activity: 6/6" 60)
check "every phone picture is written, the empty file fails ($activity)" \
  has_text "6/6 files processed, 1 failed, 1 with warnings" "$activity"
check "in the default format" test "$(find "$work/phone-out" -name '*.jpg' | wc -l)" = 5
status=$(status_bar)
check "the status bar tells what happened ($status)" \
  has_text "5 written (1 with warnings), 1 failed in" "$status"
# shellcheck disable=SC2046
xdotool mousemove --window "$win" $(at 100 32)  # the first entry: cut.jpg, in name order
sleep 2.5
shot_around_window warning-mark-tooltip
# shellcheck disable=SC2046
xdotool mousemove --window "$win" $(at 100 45)  # empty.jpg
sleep 2.5
shot_around_window failed-mark-tooltip
kill "$app" 2>/dev/null
wait "$app" 2>/dev/null

# ---- 50 MP pictures at size 5000: the window answers throughout; PAUSE, the line, the keyboard.
mkdir -p "$work/big50" "$work/out50"
convert -size 8660x5774 "gradient:#204080-#f0c040" -quality 90 "$work/big50/big50_1.jpg"
cp "$work/big50/big50_1.jpg" "$work/big50/big50_2.jpg"
cp "$work/big50/big50_1.jpg" "$work/big50/big50_3.jpg"
start_app "$work/big50"
click 412 380 3  # the size box
xdotool key ctrl+a
xdotool type 5000
click 327 234
xdotool type --delay 10 "$work/out50"
# The window owns the clipboard now: every X request for its text needs the window's event loop.
xdotool key ctrl+a ctrl+c
sleep 0.5
# Idle first, for the machine's own share of the figures.
"$work/x_roundtrip" 5 >"$work/roundtrips-idle.txt"
echo "      X round trips while idle: $(tail -1 "$work/roundtrips-idle.txt")"
# Nothing else asks the window anything while it is timed (AT-SPI questions also need its UI
# thread): the end of the run is seen from the files.
"$work/x_roundtrip" 600 "$work/run-done" >"$work/roundtrips.txt" &
probe=$!
pids+=("$probe")
click 375 319  # START
sleep 3
shot_window run-50mp-under-way
for _ in $(seq 600); do [ "$(count_files "$work/out50")" = 3 ] && break; sleep 0.5; done
touch "$work/run-done"
wait "$probe"
cat "$work/roundtrips-idle.txt" "$work/roundtrips.txt" >"$out/roundtrips-50mp.txt"
worst=$(awk '/^worst/ {print $2}' "$work/roundtrips.txt")
echo "      X round trips during the 50 MP run: $(tail -1 "$work/roundtrips.txt")"
check "the window answered within 100 ms throughout (worst ${worst:-?} ms)" \
  test "${worst:-100000}" -lt 100
check "all three are written" test "$(count_files "$work/out50")" = 3
atspi wait "File activity: 3/3 files processed" 60 >/dev/null
shot_window run-50mp-done

rm -f "$work/out50"/*
click 375 319  # START
sleep 0.5
running=$(atspi name "File activity")
check "while running the line counts and names the file ($running)" \
  grep -qE '^File activity: ([1-3])/3 big50_\1\.jpg$' <<<"$running"
click 442 319  # PAUSE, while a file is under way
paused_at=$(date +%s%N)
for _ in $(seq 1200); do
  paused=$(atspi name "File activity")
  has_text "files processed" "$paused" && break
  sleep 0.1
done
echo "      PAUSE took effect $((($(date +%s%N) - paused_at) / 1000000)) ms after the click ($paused)"
done_files=$(sed -n 's|^File activity: \([0-9]*\)/3 files processed.*|\1|p' <<<"$paused")
sleep 3
check "PAUSE: the file under way ends and no other starts ($(count_files "$work/out50") written)" \
  test "${done_files:-3}" -lt 3 -a "$(count_files "$work/out50")" = "${done_files:-x}"
shot_window paused
click 442 319  # CONTINUE
activity=$(atspi wait "File activity: 3/3 files processed" 300)
check "the line counts the batch across PAUSE and CONTINUE ($activity)" test -n "$activity"

# Keys only: Alt+S starts, Alt+Q quits; the focus stays on START and Tab goes on to the output
# format.
rm -f "$work/out50"/*
xdotool key alt+s
sleep 0.5
xdotool key alt+q
for _ in $(seq 1200); do
  has_text "files processed" "$(atspi name "File activity")" && break
  sleep 0.1
done
focus=$(atspi focus)
check "after QUIT the focus is on START ($focus)" test "$focus" = START
xdotool key Tab
focus=$(atspi focus)
check "Tab from START reaches the output format ($focus)" test "$focus" = Source
shot_window keyboard-after-quit

# Remembered at the next start (a close, not a kill, keeps them).
xdotool key alt+F4
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
KEEP_SETTINGS=1 start_app
check "the destination comes back at the next start" has_text "$work/out50" "$(atspi texts)"
shot_window remembered-options
kill "$app" 2>/dev/null
wait "$app" 2>/dev/null

# ---- The list: listed once, pasted text, "?", long paths, emptied.
long="$work/$(printf 'd%.0s' $(seq 70))/$(printf 'e%.0s' $(seq 70))/$(printf 'f%.0s' $(seq 70))"
mkdir -p "$long"
cp "$work/photos/photo1.png" "$long/the_file_name_stays_visible.png"
start_app "$work/photos" "$work/photos/" "$long/the_file_name_stays_visible.png"
check "a folder given twice is listed once" test "$(atspi name 'Files:')" = "Files: 8"
xdotool mousemove --window "$win" 5 470
sleep 0.5
shot_window long-path-elided
printf '%s' "$work/photos" | xclip -selection clipboard &
pids+=($!)
sleep 0.5
click 300 150
xdotool key ctrl+v
sleep 0.5
check "pasting what is listed adds nothing and says so" \
  has_text "Nothing pasted" "$(status_bar)"
printf 'holiday photos' | xclip -selection clipboard &
pids+=($!)
sleep 0.5
xdotool key ctrl+v
sleep 0.5
check "a paste with nothing usable says so" has_text "Nothing to paste" "$(status_bar)"
shot_window paste-feedback
if ! command -v xdg-open >/dev/null; then
  click 327 234
  xdotool type --delay 10 "$work"
  click 540 234  # "?" with no file manager
  sleep 0.5
  check "\"?\" that cannot open the folder says so" has_text "Cannot open" "$(status_bar)"
fi
click 300 150
xdotool key ctrl+a Delete
sleep 0.5
check "an emptied list clears the activity line" \
  test "$(atspi name 'File activity')" = "File activity: "
kill "$app" 2>/dev/null
wait "$app" 2>/dev/null
stop_display

# ---- 144 dpi, both ways a desktop can ask for it: the list shows whole rows.
# Qt scales the whole window by 1.5, or (scaling off) lays it out for 144 dpi itself.
for mode in "QT_SCALE_FACTOR=1.5" "QT_ENABLE_HIGHDPI_SCALING=0 QT_FONT_DPI=144"; do
  start_display 1920x1080
  scale=1.5
  APP_ENV=$mode start_app "$work/photos" "$work/photos" "$work/photos"
  geo=$(geometry "$win")
  check "144 dpi ($mode): the window is 843 x 725 ($geo)" \
    sh -c "echo '$geo' | awk '{ exit !(\$3 >= 842 && \$3 <= 844 && \$4 >= 724 && \$4 <= 726) }'"
  shot_window "window-144dpi-$(echo "${mode##* }" | cut -d= -f1)"
  kill "$app" 2>/dev/null
  wait "$app" 2>/dev/null
  stop_display
done
scale=1

# ---- The window looks as it did in the reference run.
same_as_reference() {  # same_as_reference NAME SCALE
  scale=$2
  local crop mask
  crop="$(at 562 462 | tr ' ' x)+0+0"
  mask="rectangle $(at 10 27 | tr ' ' ,) $(at 530 172 | tr ' ' ,)"
  convert "$reference/$1.png" -crop "$crop" +repage -fill black -draw "$mask" "$work/ref-$1.png"
  convert "$out/$1.png" -crop "$crop" +repage -fill black -draw "$mask" "$work/new-$1.png"
  [ "$(compare -metric AE "$work/ref-$1.png" "$work/new-$1.png" null: 2>&1)" = 0 ]
}
if [ -n "$reference" ]; then
  for shot in window-skinned:1 window-unskinned:1 window-skinned-again:1 \
    window-144dpi-QT_SCALE_FACTOR:1.5 window-144dpi-QT_FONT_DPI:1.5; do
    check "${shot%%:*} is as in $reference" same_as_reference "${shot%%:*}" "${shot##*:}"
  done
  scale=1
fi

echo "screenshots in $out"
[ "$failures" -eq 0 ]
