#!/usr/bin/env bash
# Walks through TAVRIL as a new user would, on a virtual display, and takes
# the screenshots of docs/walkthrough/. Needs Xvfb, xdotool, ImageMagick and
# octave-cli with fonts-freefont-otf; the clicks are placed for a 1280 x 900
# screen without a window manager and the Liberation fonts. Run from the
# project folder after a build:
#   docs/walkthrough/walk.sh [build/src/ui/app/tavril]
set -euo pipefail

program=$(realpath "${1:-build/src/ui/app/tavril}")
shots=$(realpath "$(dirname "$0")")
work=$(mktemp -d)
export DISPLAY=:97
Xvfb "$DISPLAY" -screen 0 1280x900x24 >/dev/null 2>&1 &
xvfb=$!
tavril=
trap 'kill $tavril $xvfb 2>/dev/null; rm -rf "$work"' EXIT
sleep 1

shot() { import -window root -crop 1015x605+0+0 +repage "$shots/$1.png"; }
pause() { sleep "${1:-1}"; }
click() { xdotool mousemove "$1" "$2" click "${3:-1}"; pause 0.6; }
windows() { xdotool search --onlyvisible --name "." getwindowname %@ 2>/dev/null | sort | tr '\n' '|'; echo; }
focus_box() { xdotool windowfocus "$(xdotool search --onlyvisible --name "$1" | head -1)"; pause 0.3; }
math_dialog() { click 82 8; click 160 97; pause; }

# Start in an empty folder: no TAVRIL.INI yet.
cd "$work"
LANG=fr_FR.UTF-8 "$program" >"$work/tavril.log" 2>&1 &
tavril=$!
pause 2
shot 01-start-without-configuration-file
focus_box "ERROR!"
xdotool key Return
pause 1.5
shot 02-configuration-dialog
xdotool key Return   # OK: the board is configured, the file written
pause
echo "after the configuration dialog: $(windows)"
od -c TAVRIL.INI | head -3

# Channels 0 to 3 in the acquisition panel (click, then Shift+Down), then the
# keyboard: Tab to the number of points, 2000, Enter.
click 945 17
xdotool key shift+Down shift+Down shift+Down
pause 0.5
xdotool key Tab Tab
xdotool key ctrl+a
xdotool type "2000"
shot 03-channels-0-to-3-selected
xdotool key Return
pause 1.5
shot 04-acquired-manual-scale
click 604 398   # Automatique
shot 05-automatic-scale

# Master channel 2 from the display panel's combo box, with the keyboard.
click 640 355
xdotool key Down Down Return
pause
shot 06-master-channel-2

# The two cursors: left button for cursor 1, right button for cursor 2.
click 200 150 1
click 480 150 3
shot 07-cursors

# Sum of channels 0 and 1 into channel 4.
math_dialog
click 735 438
shot 08-math-dialog-sum
click 846 395
shot 09-sum-in-channel-4

# Rectangle integral of channel 2 into channel 5: list B empties.
math_dialog
click 501 483
click 430 414
click 735 450
shot 10-math-dialog-integral
click 846 395
shot 11-integral-in-channel-5

# Save the master channel as integrale.tvr.
click 30 8
click 90 51
pause
shot 12-save-dialog
xdotool type --delay 30 "integrale"
xdotool key Return
pause 1.5
echo "after saving: $(windows)"

# Reset everything, then reopen the file.
click 82 8
click 120 120
pause
shot 13-reset-question
focus_box "Attention!"
xdotool key Return
pause
shot 14-after-reset
click 30 8
click 60 29
pause 1.5
shot 15-open-dialog
xdotool key Return
pause 1.5
shot 16-reopened

# Export to MATLAB as integrale.M and run it in GNU Octave.
click 30 8
click 80 74
click 240 74
pause 1.5
shot 17-export-dialog
xdotool type --delay 30 "integrale"
xdotool key Return
pause 1.5
ls -l "$work"
mkdir -p stubs
printf 'function plot(x,y)\n  printf("plot: %%d points, x from %%g to %%g s\\n", numel(x), x(1), x(end));\nend\n' >stubs/plot.m
printf 'function grid()\n  disp("grid");\nend\n' >stubs/grid.m
printf 'function title(t)\n  printf("title: %%s\\n", t);\nend\n' >stubs/title.m
octave-cli --no-gui --eval "addpath('stubs'); source('integrale.M'); printf('y0: %d samples, sum %.9g, max %.6f, min %.6f\n', numel(y0), sum(y0), max(y0), min(y0));" 2>&1 | grep -v -e shadows -e 'preparing to exit'
# And Octave's own plot of it (needs Octave's fonts, fonts-freefont-otf).
octave-cli --no-gui --eval "source('integrale.M'); drawnow; print('-dpng', '-r80', '$shots/20-octave-plot.png');" 2>&1 |
  grep -v 'preparing to exit' || true
python3 - <<'PY'
data = open("integrale.TVR", "rb").read().split(b"Tableau :\r\n")[1].split(b"\xa7")[0].split()
values = [float(v) for v in data]
print(f"file: {len(values)} samples, sum {sum(values):.9g}, max {max(values):.6f}, min {min(values):.6f}")
PY

# Help without a viewer: the error box, then the configuration dialog with
# its advanced options.
click 876 8
click 880 29
pause 1.5
shot 18-help-without-viewer
focus_box "ERREUR!"
xdotool key Return
pause 1.5
click 380 193
click 420 213
pause
shot 19-configuration-advanced-options
click 517 253   # Annuler
echo "at the end: $(windows)"
cat "$work/tavril.log"
