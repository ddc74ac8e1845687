#!/usr/bin/env bash
# The inside of run-on-sway, on the private session bus: starts the desktop, then the test.
set -u
script=$1
shift
cd "$work"
mkdir -p shots
cat >sway.conf <<CONF
output HEADLESS-1 resolution 2000x1000 position 0 0
output HEADLESS-1 bg #808080 solid_color
xwayland disable
seat seat0 hide_cursor 0
default_border none
# A window that shows a launch's activation token gets the focus, as on desktops that guard it.
focus_on_window_activation focus
for_window [app_id="io.glyphwell.Glyphwell" title="^Glyphwell\$"] floating enable, resize set 860 600, move position 1120 40
bindsym Mod4+Shift+x exec $GLYPHWELL --capture
CONF
pipewire >pipewire.log 2>&1 &
wireplumber >wireplumber.log 2>&1 &
WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sway -c sway.conf >sway.log 2>&1 &
sway_pid=$!
for _ in $(seq 1 100); do ls "$XDG_RUNTIME_DIR"/wayland-? >/dev/null 2>&1 && break; sleep 0.1; done
export WAYLAND_DISPLAY=$(basename "$(ls "$XDG_RUNTIME_DIR"/wayland-? | head -1)")
export SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.* | head -1)
dbus-update-activation-environment WAYLAND_DISPLAY XDG_CURRENT_DESKTOP SWAYSOCK 2>/dev/null
/usr/libexec/xdg-desktop-portal-wlr >xdpw.log 2>&1 &
/usr/libexec/xdg-desktop-portal-gtk >xdpg.log 2>&1 &
sleep 0.5
/usr/libexec/xdg-desktop-portal >xdp.log 2>&1 &
status=0
bash "$script" "$@" || status=$?
kill $sway_pid 2>/dev/null
exit $status
