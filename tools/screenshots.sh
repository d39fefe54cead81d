#!/usr/bin/env bash
# screenshots.sh - makes the README's screenshots from real runs of the application under Xvfb.
#   bash tools/screenshots.sh      writes docs/screenshots/*.png
# Needs Debian 12 as root (or sudo): installs an X server, a window manager and
# the capture tools on top of what tools/setup.sh installs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$root/build/screenshots
shots=$root/docs/screenshots

if [ "${1:-}" != --inside ]; then
  bash tools/setup.sh
  extras=(xvfb xauth openbox x11-utils xdotool imagemagick fonts-dejavu-core bc)
  missing=()
  for p in "${extras[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
  cmake -S . -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTORELLE_BUILD_TESTS=OFF > /dev/null
  cmake --build "$work/build" -j "$(nproc)" --target vantorelle
  c++ -O2 -std=c++20 -o "$work/make_corpus" bench/make_corpus.cpp
  exec xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" bash "$0" --inside
fi

app=$work/build/app/desktop/vantorelle
home=$work/home
rm -rf "$home" && mkdir -p "$home/config" "$home/data" "$home/run" "$shots"
chmod 700 "$home/run"
export XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_RUNTIME_DIR=$home/run
export QT_QPA_PLATFORM=xcb
# List problems in the progress window rather than stopping at each one:
# the whole 18-byte record, as only a whole one is understood.
{ printf '\001'; head -c 17 /dev/zero; } > "$XDG_CONFIG_HOME/Vantorelle prefs"

openbox & wm=$!
trap 'kill $wm 2>/dev/null || true' EXIT
sleep 1

# The ids of the program's mapped windows titled Vantorelle, newest last.
windows() {
  xwininfo -root -tree | awk '/"Vantorelle": \("vantorelle"/ {print $1}' | while read -r w; do
    xwininfo -id "$w" | grep -q 'Map State: IsViewable' && echo "$w"
  done
  return 0
}

# Waits up to 20 s for a window that `windows` did not list before; prints its id.
new_window() {  # ids-before
  for _ in $(seq 200); do
    for w in $(windows); do
      grep -qw -- "$w" <<<"$1" || { echo "$w"; return 0; }
    done
    sleep 0.1
  done
  echo "no new Vantorelle window appeared" >&2
  return 1
}

# Captures a window with the frame the window manager draws around it.
capture() {  # window-id file
  import -frame -window "$1" "$2"
  echo "wrote $2 ($(identify -format '%wx%h' "$2"))"
}

echo "== the main window"
"$app" & pid=$!
id=$(new_window "")
sleep 1
capture "$id" "$shots/main-window.png"
kill -TERM $pid
wait $pid

echo "== the progress window during a run, its summary and the results view"
articles=$work/articles
if [ ! -d "$articles/posting" ]; then
  rm -rf "$articles" && mkdir -p "$articles"
  "$work/make_corpus" "$articles/corpus" $((512 * 1024 * 1024)) 2026 > /dev/null
  mkdir -p "$articles/posting"
  n=0
  for f in "$articles"/corpus/yenc/part-*.txt; do
    n=$((n + 1))
    LC_ALL=C sed -e '/^Subject: \|^=ybegin /s/random\.bin/holiday-video.mkv/' \
      -e 's/^Subject: bench - /Subject: Our holiday - /' "$f" > "$(printf '%s/posting/holiday-%04d.txt' "$articles" $n)"
  done
  rm -rf "$articles/corpus"
fi
# One article went missing, as they do: the progress window lists it.
inputs=()
for f in "$articles"/posting/holiday-*.txt; do [ "$(basename "$f")" = holiday-0007.txt ] || inputs+=("$f"); done

# Time a run of the whole posting, then stop the next run part of the way in.
# Its parts are decoded in turn: decoded while they are scanned, the bar
# would run through in a moment and the stop would meet the summary.
rm -f "$articles"/posting/*.mkv*
start=$(date +%s.%N)
VANTORELLE_DECODE_AHEAD=0 "$app" "$articles"/posting/holiday-*.txt
duration=$(echo "$(date +%s.%N) - $start" | bc)
rm -f "$articles"/posting/*.mkv*

VANTORELLE_DECODE_AHEAD=0 "$app" "${inputs[@]}" & pid=$!
id=$(new_window "")
sleep "$(echo "$duration * ${PROGRESS_AT:-0.6}" | bc)"
kill -STOP $pid
sleep 0.3
capture "$id" "$shots/progress-window.png"
kill -CONT $pid
# The run ends with the summary alert in front of the progress window.
alert=$(new_window "$id")
sleep 1
capture "$alert" "$shots/summary.png"
xdotool windowfocus --sync "$alert" 2>/dev/null || true
xdotool key Return
# Then the progress window stays as the results view until it is closed.
sleep 1
capture "$id" "$shots/results.png"
xdotool windowfocus --sync "$id" 2>/dev/null || true
xdotool key Escape
wait $pid || true
echo "a run of ${#inputs[@]} articles takes about ${duration}s"

echo "== a posting that lacks a part, with its PAR2 set: the results view offers the repair"
trip=$work/trip
rm -rf "$trip" && mkdir -p "$trip"
"$work/make_corpus" "$trip/corpus" $((6 * 1024 * 1024)) 7 > /dev/null
mv "$trip/corpus/original.bin" "$trip/corpus/trip-photos.zip"
(cd "$trip/corpus" && par2 create -q -r10 trip-photos.par2 trip-photos.zip > /dev/null)
n=0
for f in "$trip"/corpus/yenc/part-*.txt; do
  n=$((n + 1))
  [ $n -eq 3 ] && continue  # the part that went missing
  LC_ALL=C sed -e '/^Subject: \|^=ybegin /s/random\.bin/trip-photos.zip/' \
    -e 's/^Subject: bench - /Subject: Trip photos - /' "$f" > "$(printf '%s/trip-%02d.txt' "$trip" $n)"
done
mv "$trip"/corpus/trip-photos*.par2 "$trip"/
"$app" "$trip"/trip-*.txt "$trip"/*.par2 & pid=$!
id=$(new_window "")
alert=$(new_window "$id")
xdotool windowfocus --sync "$alert" 2>/dev/null || true
xdotool key Return
sleep 1
capture "$id" "$shots/results-par2.png"
xdotool windowfocus --sync "$id" 2>/dev/null || true
xdotool key alt+r
sleep 2
capture "$id" "$shots/results-repaired.png"
xdotool key Escape
wait $pid || true
cmp "$trip/corpus/trip-photos.zip" "$trip/trip-photos.zip" && echo "the repaired file is the original"
