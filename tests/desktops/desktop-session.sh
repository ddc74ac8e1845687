#!/usr/bin/env bash
# The inside of run-on-desktop, on the private session bus: starts the desktop, then the test.
set -u
desktop=$1 script=$2
shift 2
cd "$work"
children=()
# A system bus of the session's own: gnome-shell sees /run/systemd/seats on such machines,
# takes logind to be there and fails at start when no system bus answers. Nothing runs on it.
mkdir -p sysbus
cat >sysbus/system.conf <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>system</type><listen>unix:path=$work/sysbus/socket</listen><auth>EXTERNAL</auth>
<policy context="default"><allow user="*"/><allow send_destination="*"/><allow receive_sender="*"/><allow own="*"/></policy></busconfig>
CONF
dbus-daemon --config-file="$work/sysbus/system.conf" --nofork >system-bus.log 2>&1 & children+=($!)
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/sysbus/socket
for _ in $(seq 1 50); do [ -S sysbus/socket ] && break; sleep 0.1; done
case $desktop in
gnome)
    export WAYLAND_DISPLAY=wayland-gw-gnome
    gnome-shell --headless --wayland --no-x11 --virtual-monitor 1600x1000 --wayland-display "$WAYLAND_DISPLAY" \
        >compositor.log 2>&1 &
    ;;
kde)
    export WAYLAND_DISPLAY=wayland-gw-kde KDE_FULL_SESSION=true KDE_SESSION_VERSION=5
    # KWin grants its fake-input protocol and its screenshot API (the test's pictures) only to
    # programs its desktop-file cache names, which proved unreliable for a fresh home: those
    # checks are off. Glyphwell never calls KWin itself; its screenshots go through the portal.
    export KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1
    mkdir -p home/.local/share/applications
    cat >home/.local/share/applications/glyphwell-test-helpers.desktop <<DESKTOP
[Desktop Entry]
Type=Application
Name=Glyphwell test helpers
Exec=$(readlink -f /usr/bin/python3)
NoDisplay=true
X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input
X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2
DESKTOP
    "$work/bin/kwin_wayland" --virtual --width 1600 --height 1000 --socket "$WAYLAND_DISPLAY" --no-lockscreen \
        >compositor.log 2>&1 &
    ;;
esac
compositor=$!
children+=($compositor)
for _ in $(seq 1 600); do [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] && break; sleep 0.1; done
[ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] || { echo "FAIL: the compositor made no Wayland socket"; kill "${children[@]}"; exit 1; }
dbus-update-activation-environment DBUS_SYSTEM_BUS_ADDRESS WAYLAND_DISPLAY XDG_CURRENT_DESKTOP XDG_SESSION_TYPE \
    XDG_SESSION_DESKTOP ${KDE_FULL_SESSION:+KDE_FULL_SESSION KDE_SESSION_VERSION} 2>/dev/null
# Waits up to a minute for a D-Bus name to have an owner on the session bus.
wait_for_name() {
    for _ in $(seq 1 600); do
        gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus -m org.freedesktop.DBus.NameHasOwner \
            "$1" 2>/dev/null | grep -q true && return 0
        sleep 0.1
    done
    echo "warning: nothing owns $1 after a minute"
}
case $desktop in
gnome)
    # gnome-shell must own its D-Bus names before the portal back-end starts.
    wait_for_name org.gnome.Shell.Screenshot
    /usr/libexec/xdg-desktop-portal-gnome >xdp-backend.log 2>&1 & children+=($!)
    # What runs the custom keyboard shortcuts (gnome-settings-daemon's media-keys part).
    /usr/libexec/gsd-media-keys >gsd-media-keys.log 2>&1 & children+=($!)
    /usr/libexec/xdg-desktop-portal-gtk >xdp-gtk.log 2>&1 & children+=($!)
    backends="org.freedesktop.impl.portal.desktop.gnome org.freedesktop.impl.portal.desktop.gtk"
    ;;
kde)
    kbuildsycoca5 >kbuildsycoca.log 2>&1
    /usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde >xdp-backend.log 2>&1 & children+=($!)
    backends=org.freedesktop.impl.portal.desktop.kde
    ;;
esac
# The portal asks D-Bus to start a back-end that is not yet on the bus; that second copy finds
# no display set up for it, and the portal gives up on it after a timeout. Both are waited for.
for name in $backends; do wait_for_name "$name"; done
/usr/libexec/xdg-desktop-portal >xdp.log 2>&1 & children+=($!)
for _ in $(seq 1 300); do
    gdbus call --session -d org.freedesktop.portal.Desktop -o /org/freedesktop/portal/desktop \
        -m org.freedesktop.DBus.Properties.Get org.freedesktop.portal.Screenshot version >/dev/null 2>&1 && break
    sleep 0.1
done
# PipeWire last: it looks for the portal as it starts, and D-Bus would start one (and with it
# the back-ends) before the compositor is there for them.
pipewire >pipewire.log 2>&1 & children+=($!)
wireplumber >wireplumber.log 2>&1 & children+=($!)
echo "desktop ready after $SECONDS s"
status=0
bash "$script" "$@" || status=$?
kill "${children[@]}" 2>/dev/null
exit $status
