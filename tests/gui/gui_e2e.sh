#!/usr/bin/env bash
# The window program on a real X server, driven by real input events: starts Xvfb, launches
# `korvalo-gui start` on a card image (an MBR and a FAT32 partition with deleted photos), clicks
# Start, picks the partition, clicks Scan, and waits for the progress dialog to come and go.
# Saves a screenshot of every page and dialog in OUT_DIR and fails when a step does not happen.
#
#   tests/gui/gui_e2e.sh KORVALO_GUI OUT_DIR
set -euo pipefail
gui=$1
out=$2
mkdir -p "$out"
for tool in Xvfb xdotool xwd convert mkfs.fat mcopy sfdisk; do
  command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || { echo "missing $tool" >&2; exit 1; }
done

work=$(mktemp -d)
display=:$((90 + RANDOM % 9))
cleanup() {
  [ -n "${gui_pid:-}" ] && kill "$gui_pid" 2>/dev/null || true
  [ -n "${x_pid:-}" ] && kill "$x_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# An 8 GiB card (sparse): big enough that the scan's dialog stays up for a screenshot.
card=$work/card.img
truncate -s 8G "$card"
printf 'label: dos\nstart=2048, type=c\n' | /usr/sbin/sfdisk --quiet "$card"
/usr/sbin/mkfs.fat -F 32 -n CARD --offset 2048 "$card" >/dev/null
export MTOOLS_SKIP_CHECK=1
head -c 300000 /dev/urandom > "$work/noise.bin"
printf '\xff\xd8\xff\xe0\x00\x10JFIF\x00' | cat - "$work/noise.bin" > "$work/Beach.jpg"
mcopy -i "$card@@1M" "$work/Beach.jpg" ::/
mdel -i "$card@@1M" ::/Beach.jpg

Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
x_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

# A screenshot of the screen; a dialog named by its window id is captured from its own window
# and laid over it (its contents are not part of the root window's picture on this server).
shot() {
  xwd -root -silent | convert xwd:- "$out/$1.png"
  if [ -n "${2:-}" ]; then
    eval "$(xdotool getwindowgeometry --shell "$2")"
    xwd -id "$2" -silent | convert xwd:- "$work/window.png"
    convert "$out/$1.png" "$work/window.png" -geometry "+$X+$Y" -composite "$out/$1.png"
  fi
  echo "screenshot $out/$1.png"
}
click() { xdotool mousemove --window "$win" "$1" "$2" click 1; sleep 0.5; }

KORVALO_DISKS=$card KORVALO_HOME=$work/home "$gui" start &
gui_pid=$!
win=$(xdotool search --sync --onlyvisible --name "Free Korvalo" | head -1)
sleep 1
shot 1-start-page

click 830 575   # Start
shot 2-device-page

click 200 217   # the partition row under "Physical Driver 1"
shot 3-partition-chosen
click 890 588   # Scan
dialog=""
for _ in $(seq 200); do
  dialog=$(xdotool search --onlyvisible --name "^Scan File$" 2>/dev/null | head -1 || true)
  [ -n "$dialog" ] && break
  sleep 0.02
done
[ -n "$dialog" ] || { echo "the scan's progress dialog never appeared" >&2; shot 4-no-dialog; exit 1; }
sleep 0.5   # painted, and a report or two shown
shot 4-scan-dialog "$dialog"

# The scan, then the search: wait until neither dialog is left.
for _ in $(seq 600); do
  if ! xdotool search --onlyvisible --name "^(Scan|Search) File$" >/dev/null 2>&1; then break; fi
  sleep 0.1
done
if xdotool search --onlyvisible --name "^(Scan|Search) File$" >/dev/null 2>&1; then
  echo "the progress dialogs did not close" >&2
  shot 5-stuck
  exit 1
fi
sleep 0.5
shot 5-after-scan
kill -0 "$gui_pid" || { echo "korvalo-gui ended during the scan" >&2; exit 1; }
echo "gui e2e: start page, device page, scan dialog came and went"
