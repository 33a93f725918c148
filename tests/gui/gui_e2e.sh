#!/usr/bin/env bash
# The window program on a real X server, driven by real input events.
#
# First run: a card image (an MBR and a FAT32 partition with deleted photos and a song) given as a
# disk. Start, pick the partition, Scan; the results page lists the photos under their names; a
# photo and the song are previewed; Photo is ticked and recovered into a folder typed into the
# folder dialog. The photos must come back byte-identical under photo/, and the image must not
# change.
# Second run (as root, with loop devices): an NTFS volume on a loop device, mounted with ntfs-3g.
# The destination chosen lies inside that mount: the window must ask, and after "No" nothing is
# written to the folder or the device.
#
# Saves a screenshot of every page and dialog in OUT_DIR and fails when a step does not happen.
#
#   tests/gui/gui_e2e.sh KORVALO_GUI OUT_DIR
set -euo pipefail
gui=$1
out=$2
mkdir -p "$out"
rm -f "$out"/*.png   # no picture of an earlier run may pass for this one
for tool in Xvfb xdotool xwd convert mkfs.fat mcopy sfdisk sha256sum; do
  command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || { echo "missing $tool" >&2; exit 1; }
done

work=$(mktemp -d)
display=:$((90 + RANDOM % 9))
cleanup() {
  [ -n "${gui_pid:-}" ] && kill "$gui_pid" 2>/dev/null || true
  [ -n "${x_pid:-}" ] && kill "$x_pid" 2>/dev/null || true
  if [ -n "${ntfs_mount:-}" ]; then umount "$ntfs_mount" 2>/dev/null || true; fi
  if [ -n "${loop:-}" ]; then losetup -d "$loop" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "gui e2e: $1" >&2; shot "fail-$2"; exit 1; }

Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
x_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

# A screenshot of the screen; a dialog named by its window id is captured from its own window
# and laid over it (its contents are not part of the root window's picture on this server).
shot() {
  xwd -root -silent | convert xwd:- "$out/$1.png"
  local id
  for id in "${@:2}"; do
    local geometry
    geometry=$(xdotool getwindowgeometry --shell "$id" 2>/dev/null) || { echo "window $id is gone" >&2; continue; }
    eval "$geometry"
    xwd -id "$id" -silent | convert xwd:- "$work/window.png"
    convert "$out/$1.png" "$work/window.png" -geometry "+$X+$Y" -composite "$out/$1.png"
  done
  echo "screenshot $out/$1.png"
}
# Clicks at x y inside a window (the main window unless a third argument names another).
click() { xdotool mousemove --window "${3:-$win}" "$1" "$2" click 1; sleep 0.5; }
# The id of the first visible window whose name matches, waiting up to $2 tenths of a second.
find_window() {
  local id=""
  for _ in $(seq "${2:-100}"); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | grep -vx "${win:-none}" | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
# Waits until no visible window's name matches.
wait_gone() {
  for _ in $(seq "${2:-600}"); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 1
}
# The spread of the grey levels in a part of a screenshot: 0 for a blank area.
spread() { convert "$1" -crop "$2" -colorspace gray -format '%[fx:standard_deviation]' info:; }

start_gui() {
  KORVALO_DISKS=$1 KORVALO_HOME=$work/home "$gui" start &
  gui_pid=$!
  win=$(xdotool search --sync --onlyvisible --name "^Free Korvalo$" | head -1)
  sleep 1
}

# Start, the partition row, Scan; waits for the scan and the search to end on the results page.
# With "shown" as $2 the scan's dialog must be seen (a small volume may be done before).
scan_first_partition() {
  click 830 575   # Start
  shot "$1-device-page"
  click 200 217   # the partition row under "Physical Driver 1"
  click 890 588   # Scan
  local dialog
  if dialog=$(find_window "^Scan File$" 200); then
    sleep 0.5
    shot "$1-scan-dialog" "$dialog"
  elif [ "${2:-}" = "shown" ]; then
    fail "the scan's progress dialog never appeared" "$1-no-scan"
  fi
  wait_gone "^(Scan|Search) File$" || fail "the progress dialogs did not close" "$1-stuck"
  wait_gone "^Preview File$" 100 || true
  sleep 0.5
  kill -0 "$gui_pid" || fail "korvalo-gui ended during the scan" "$1-ended"
}

# Ticks the first group of the results (Photo) and recovers into the folder $1, typed into the
# folder dialog.
recover_photos_into() {
  click 39 175    # the Photo group's box
  click 890 594   # Recover
  local dialog
  dialog=$(find_window "Directory" 50) || fail "the folder dialog never appeared" "$2-no-folder-dialog"
  sleep 0.5
  # Real key events: a key sent to a window directly is never released, and its repeats
  # would press the default button of every dialog that follows.
  xdotool windowfocus --sync "$dialog" 2>/dev/null || true
  xdotool key ctrl+a
  xdotool type --delay 20 "$1"
  sleep 0.3
  shot "$2-folder-dialog" "$dialog"
  xdotool key Return
  sleep 1
}

export MTOOLS_SKIP_CHECK=1
# Real photos (one wider than the preview area) and a song whose first bytes are text.
convert -size 640x400 plasma:steelblue-orange -quality 90 "$work/Beach.jpg"
convert -size 1800x1200 gradient:navy-gold -swirl 120 -quality 85 "$work/Sunset.jpg"
convert -size 300x300 plasma:green-yellow -quality 92 "$work/Garden.jpg"
{ printf 'ID3\x03\x00\x00\x00\x00\x0f\x76'; for i in $(seq 60); do printf 'TIT2 Holiday song, verse %02d. ' "$i"; done
  head -c 200000 /dev/urandom; } > "$work/Song.mp3"

# An 8 GiB card (sparse): big enough that the scan's dialog stays up for a screenshot.
card=$work/card.img
truncate -s 8G "$card"
printf 'label: dos\nstart=2048, type=c\n' | /usr/sbin/sfdisk --quiet "$card"
/usr/sbin/mkfs.fat -F 32 -n CARD --offset 2048 "$card" >/dev/null
for f in Beach.jpg Sunset.jpg Garden.jpg Song.mp3; do mcopy -i "$card@@1M" "$work/$f" ::/; done
for f in Beach.jpg Sunset.jpg Garden.jpg Song.mp3; do mdel -i "$card@@1M" "::/$f"; done
card_sum=$(sha256sum < "$card")

start_gui "$card"
shot 1-start-page
scan_first_partition 2 shown
shot 3-results-page
# Rows: Photo(3) at 175, "jpg Files (3)" at 191, Music(1) at 207, "mp3 Files (1)" at 223.
click 128 191   # jpg Files: lists the photos and previews the first
wait_gone "^Preview File$" 100 || fail "the preview dialog did not close" 4-preview-stuck
sleep 0.5
shot 4-picture-preview
[ "$(spread "$out/4-picture-preview.png" 700x190+420+225 | cut -c1-4)" != "0" ] || \
  fail "the photo's preview area stayed blank" 4-blank-preview
click 128 223   # mp3 Files: a song previews as text
wait_gone "^Preview File$" 100 || fail "the preview dialog did not close" 5-preview-stuck
sleep 0.5
shot 5-text-preview

mkdir "$work/recovered"
recover_photos_into "$work/recovered" 6
dialog=$(find_window "^Recovery File$" 100) || fail "the recovery dialog never appeared" 7-no-recovery
shot 7-recovery-progress "$dialog"
click 228 226 "$dialog"   # Detail
sleep 0.5
detail=$(find_window "^Recovery Detail$" 50) || fail "the detail dialog never appeared" 8-no-detail
sleep 0.3
shot 8-recovery-detail "$dialog" "$detail"
click 550 380 "$detail"   # OK
click 440 226 "$dialog"   # Finished
wait_gone "^Recovery File$" 50 || fail "the recovery dialog did not close" 9-recovery-stuck
for f in Beach.jpg Sunset.jpg Garden.jpg; do
  cmp "$work/$f" "$work/recovered/photo/$f" || fail "photo/$f is not the original" 9-wrong-photo
done
[ ! -e "$work/recovered/audio" ] || fail "an unticked song was recovered" 9-song
[ "$(sha256sum < "$card")" = "$card_sum" ] || fail "the card image changed" 9-card-changed
shot 9-after-recovery
kill "$gui_pid"; wait "$gui_pid" 2>/dev/null || true; gui_pid=""
echo "gui e2e: card scanned, photos previewed and recovered byte-identical, image unchanged"

# The second run needs loop devices and ntfs-3g.
if [ "$(id -u)" -ne 0 ] || ! command -v ntfs-3g >/dev/null || ! loop=$(losetup -f 2>/dev/null); then
  echo "gui e2e: no root, loop device or ntfs-3g here: the destination-on-source run is skipped"
  exit 0
fi
ntfs=$work/ntfs.img
truncate -s 64M "$ntfs"
/usr/sbin/mkntfs -F -Q -q -L PHOTOS "$ntfs" >/dev/null 2>&1
loop=$(losetup -f --show "$ntfs")
ntfs_mount=$work/ntfs
mkdir "$ntfs_mount"
# No access times: listing the folder (as the folder dialog does) must not write to the device.
ntfs-3g -o noatime "$loop" "$ntfs_mount"
cp "$work/Beach.jpg" "$ntfs_mount/"
sync
rm "$ntfs_mount/Beach.jpg"
mkdir "$ntfs_mount/out"
sync
loop_sum=$(sha256sum < "$loop")

start_gui "$loop"
scan_first_partition 10
shot 11-ntfs-results
recover_photos_into "$ntfs_mount/out" 12
question=$(find_window "^Free Korvalo$" 50) || fail "no question about the destination on the source" 13-no-question
sleep 0.3
shot 13-destination-question "$question"
click 140 127 "$question"   # No
if find_window "^Recovery File$" 20 >/dev/null; then fail "recovering after No" 14-recovered; fi
[ -z "$(ls -A "$ntfs_mount/out")" ] || fail "files were written after No" 14-written
sync
[ "$(sha256sum < "$loop")" = "$loop_sum" ] || fail "the scanned device changed" 14-device-changed
shot 14-after-no
echo "gui e2e: a destination on the scanned NTFS device was refused after No; nothing written"
