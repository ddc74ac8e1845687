#!/usr/bin/env bash
# Glyphwell on a real GNOME or KDE Plasma Wayland desktop (run through run-on-desktop), as a
# user meets it: start, the portal screenshot and the overlay, a drag over known text with
# Glyphwell focused and again with another program focused (the usual case: the text is to be
# pasted there), each read back from the clipboard by another client and found in the
# history; Escape cancels.
# usage: capture-on-desktop.sh IMAGE   ($desktop, $GLYPHWELL and $work come from run-on-desktop)
set -u
image=$1
cd "$work"
. bin/checks.sh
export GDK_BACKEND=wayland
log() { echo "[$(date +%T)] $*"; }

case $desktop in
gnome)
    # mutter's remote-desktop API; keys are X keysyms.
    coproc INPUT { exec timeout 600 python3 bin/mutter-input.py 2>&1; }
    ESC=0xff1b SHIFT=0xffe1 SUPER=0xffeb KEY_X=0x78
    shot() { timeout 20 gnome-screenshot -f "$1" >/dev/null 2>&1; }
    ;;
kde)
    # KWin's fake-input protocol; keys are evdev codes.
    coproc INPUT { exec timeout 600 python3 bin/kwin-fake-input.py 2>&1; }
    ESC=1 SHIFT=42 SUPER=125 KEY_X=45
    shot() { timeout 20 python3 bin/kwin-shot.py "$1" >/dev/null 2>&1; }
    ;;
esac
read -r -t 20 -u "${INPUT[0]}" line
case $line in ready*) ;; *) fail "no input device: $line" ;; esac
input() {
    echo "$*" >&"${INPUT[1]}"
    local reply
    read -r -t 10 -u "${INPUT[0]}" reply
    [ "$reply" = ok ] || fail "input '$*': $reply"
}
drag() { # x1 y1 x2 y2, in steps as a hand does; the button stays down
    input move "$1" "$2"; sleep 0.3; input press
    for s in 1 2 3 4 5 6; do input move $(($1 + ($3 - $1) * s / 6)) $(($2 + ($4 - $2) * s / 6)); sleep 0.1; done
}
click() { input move "$1" "$2"; sleep 0.2; input press; input release; }
grey() { convert "$3" -format "%[fx:int(255*p{$1,$2}.r)]" info:; }
# The overlay dims the frozen screen: grey 128 shows as ~83 under it. The probe point is grey
# background that neither the text nor the moved main window covers.
PX=780 PY=120
dimmed() { shot shots/probe.png && [ "$(grey $PX $PY shots/probe.png)" -lt 100 ]; }
undimmed() { shot shots/probe.png && [ "$(grey $PX $PY shots/probe.png)" -gt 110 ]; }
clipboard() { timeout 5 wl-paste --no-newline 2>/dev/null; }
# GNOME's screenshot tool flashes the screen white: a capture must not take its picture during
# the flash (its overlay then shows a white screen, which reads as not dimmed). Captures are
# started a moment after a picture, and probed only once their own picture is taken, which
# Glyphwell's timing lines (in $glyphwell_log) say.
glyphwell_log=glyphwell.log
frames() { grep -c '^glyphwell-timing frame' "$glyphwell_log"; }
framed() { [ "$(frames)" -gt "$frames" ]; }
before_capture() { sleep 1; frames=$(frames); }
history=$HOME/.local/share/Glyphwell/capture-history.json
entries() { grep -c '"capturedAt"' "$history" 2>/dev/null || echo 0; }
grew() { [ "$(entries)" -gt "$before" ]; }

# The known text, full screen, in another program (the picture is the screen's size).
convert -size 1600x1000 xc:'#808080' "$image" -geometry +40+200 -composite background.png \
    || fail "could not compose the picture"
eog --fullscreen background.png >eog.log 2>&1 &
eog_pid=$!
sleep 4
input key $SHIFT # gives the seat a keyboard (mutter makes its virtual keyboard on first use)
[ "$desktop" = gnome ] && { input key $ESC; sleep 1; } # GNOME starts in the overview

GLYPHWELL_TIMING=1 "$GLYPHWELL" >glyphwell.log 2>&1 &
glyphwell_pid=$!
wait_for 30 grep -q '^glyphwell: capture: portal screenshot' glyphwell.log \
    || fail "no start-up line: $(tail -3 glyphwell.log)"
sleep 4
# The main window opens over the text (GNOME: at the top left; KWin: centred): drag it by its
# title bar to the lower right, where it has the focus.
case $desktop in
gnome) drag 600 44 1500 294 ;;
kde) drag 800 158 1400 600 ;;
esac
input release; sleep 1
shot shots/$desktop-main-window.png

# Capture 1, Glyphwell focused. The first screenshot may make GNOME ask whether programs may
# take screenshots: the portal's permission store answers yes beforehand, as after one Allow.
if [ "$desktop" = gnome ]; then
    gdbus call --session -d org.freedesktop.impl.portal.PermissionStore -o /org/freedesktop/impl/portal/PermissionStore \
        -m org.freedesktop.impl.portal.PermissionStore.SetPermission screenshot true screenshot '' "['yes']" >/dev/null \
        || fail "the permission store did not take the screenshot permission"
fi
capture() { # NAME X2 Y2 EXPECTED: capture the text from (30,190) to (X2,Y2)
    local name=$1 expected=$4 text
    before=$(entries)
    before_capture
    "$GLYPHWELL" --capture || fail "$name: glyphwell --capture failed"
    wait_for 30 framed || fail "$name: no screenshot taken: $(tail -2 glyphwell.log)"
    wait_for 30 dimmed || fail "$name: no overlay: $(tail -2 glyphwell.log)"
    drag 30 190 "$2" "$3"
    shot shots/probe.png && cp shots/probe.png "shots/$desktop-$name-mid-drag.png"
    input release
    wait_for 60 grew || fail "$name: no new history entry"
    wait_for 10 undimmed || fail "$name: the overlay stayed up after the capture"
    text=$(clipboard)
    case $text in *"$expected"*) log "$name: the clipboard holds: $(echo "$text" | head -1)" ;;
    *) fail "$name: the clipboard holds: $(echo "$text" | head -1)" ;; esac
    grep -q "$expected" "$history" || fail "$name: the history lacks the text"
}
capture focused 700 690 "lazy fox"
# Capture 2, while another program (the picture viewer) has the keyboard focus: the first
# three lines only, so the clipboard must change.
click 1000 100; sleep 1
capture unfocused 700 400 "file format"
case $(clipboard) in *"lazy fox"*) fail "the clipboard still holds the first capture" ;; esac
shot shots/$desktop-after-unfocused-capture.png
# The text stays on the clipboard once Glyphwell's windows are gone, until another copy.
sleep 2
case $(clipboard) in *"file format"*) ;; *) fail "the clipboard lost the text: $(clipboard)" ;; esac

# Escape cancels: nothing new in the history or on the clipboard.
before=$(entries)
before_capture
"$GLYPHWELL" --capture
wait_for 30 framed || fail "escape: no screenshot taken"
wait_for 30 dimmed || fail "escape: no overlay"
sleep 1
input key $ESC
wait_for 10 undimmed || fail "Escape did not close the overlay"
[ "$(entries)" -eq "$before" ] || fail "a cancelled capture changed the history"
case $(clipboard) in *"file format"*) ;; *) fail "a cancelled capture changed the clipboard" ;; esac

# --doctor says whether the shortcuts were bound, not only that a portal answers.
"$GLYPHWELL" --doctor >doctor.txt 2>&1
log "doctor: $(grep 'GlobalShortcuts' doctor.txt)"

shortcut() { # presses Shift+Super+X; the overlay must come up, Escape puts it away
    before_capture
    input keydown $SHIFT; input keydown $SUPER; input key $KEY_X; input keyup $SUPER; input keyup $SHIFT
    wait_for 20 framed || fail "$1: Shift+Super+X started no capture"
    wait_for 20 dimmed || fail "$1: Shift+Super+X did not open the overlay"
    input key $ESC
    wait_for 10 undimmed || fail "$1: Escape did not close the overlay"
}
stop_glyphwell() {
    kill -TERM "$glyphwell_pid"
    wait "$glyphwell_pid"
    local status=$?
    [ "$status" -eq 0 ] || fail "glyphwell exited with $status on SIGTERM"
}
case $desktop in
kde)
    # Through the portal: Plasma 5.27 binds what the session brings, under the same name at
    # every start, without opening System Settings.
    grep -q 'GlobalShortcuts portal.*bound: captureText=Meta+Shift+X' doctor.txt || fail "the doctor does not say what is bound: $(cat doctor.txt)"
    grep -q '^glyphwell: the desktop gives "Capture Text" the shortcut Meta+Shift+X' glyphwell.log \
        || fail "the portal did not bind Capture Text: $(cat glyphwell.log)"
    shortcut "portal"
    stop_glyphwell
    GLYPHWELL_TIMING=1 "$GLYPHWELL" >glyphwell-2.log 2>&1 &
    glyphwell_pid=$!
    glyphwell_log=glyphwell-2.log
    wait_for 30 grep -q '^glyphwell: the desktop gives "Capture Text" the shortcut Meta+Shift+X' glyphwell-2.log \
        || fail "after a restart the portal did not bind Capture Text: $(cat glyphwell-2.log)"
    shortcut "portal after a restart"
    ! grep -q 'kcm_keys' xdp-backend.log || fail "the portal opened System Settings: $(grep kcm_keys xdp-backend.log)"
    ;;
gnome)
    # GNOME 43 has no shortcut portal: a back-end of another desktop may answer it, and refuse.
    grep -Eq 'GlobalShortcuts portal.*(refuses|nothing is bound|not available)' doctor.txt \
        || fail "the doctor does not say the portal cannot bind here: $(cat doctor.txt)"
    grep -q 'GNOME Settings > Keyboard' glyphwell.log || fail "the hint does not name GNOME's place: $(cat glyphwell.log)"
    # Glyphwell adds GNOME's own custom shortcut: a click on the main window (the picture
    # viewer gone), Settings (Ctrl+,), the Shortcuts tab (Ctrl+Tab), "Add to GNOME's keyboard
    # shortcuts" (Alt+A).
    CTRL=0xffe3 ALT=0xffe9 TAB=0xff09 COMMA=0x2c KEY_A=0x61
    # The desktop's own background grey too, for the probe.
    gsettings set org.gnome.desktop.background picture-options none
    gsettings set org.gnome.desktop.background color-shading-type solid
    gsettings set org.gnome.desktop.background primary-color '#808080'
    kill "$eog_pid"
    sleep 1
    click 1100 380
    sleep 1
    input keydown $CTRL; input key $COMMA; input keyup $CTRL
    sleep 2
    input keydown $CTRL; input key $TAB; input keyup $CTRL
    sleep 1
    input keydown $ALT; input key $KEY_A; input keyup $ALT
    added() { gsettings get org.gnome.settings-daemon.plugins.media-keys custom-keybindings | grep -q custom0; }
    wait_for 15 added || { shot shots/gnome-settings-not-added.png; fail "Glyphwell added no custom shortcut"; }
    entry=org.gnome.settings-daemon.plugins.media-keys.custom-keybinding:/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0/
    [ "$(gsettings get $entry binding)" = "'<Shift><Super>x'" ] || fail "the custom shortcut is bound to $(gsettings get $entry binding)"
    log "GNOME's custom shortcut: $(gsettings get $entry name) runs $(gsettings get $entry command)"
    sleep 1
    shot shots/gnome-settings-shortcut-added.png
    shortcut "GNOME's custom shortcut"
    ;;
esac
stop_glyphwell
kill "$eog_pid" 2>/dev/null
echo "capture on $desktop: all checks passed"
