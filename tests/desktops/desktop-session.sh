#!/bin/bash
# desktop-session.sh gnome|kde CMD [ARGS...]
# Runs CMD inside a throw-away headless session of a real desktop on private D-Bus buses:
#   gnome  gnome-shell --headless with one virtual monitor of $DSK_SIZE pixels (default 1280x800)
#          at scale $DSK_SCALE (default 1; GNOME offers 2 from about 1920x960 up), its
#          background solid #ff8800, the overview closed, and
#          xdg-desktop-portal-gnome; non-interactive screenshots are allowed in the permission
#          store, as after the user said yes once.
#   kde    kwin_wayland --virtual (1280x800) with its global shortcuts service and
#          xdg-desktop-portal-kde. System Settings is not part of it: the xdg-open the portal
#          runs to show its Shortcuts page is a stand-in that appends its argument to
#          $SESSION_DIR/xdg-open.log.
# Both with the real xdg-desktop-portal frontend, which knows only the desktop's own portal
# backends (as on a machine with just that desktop installed). CMD sees WAYLAND_DISPLAY,
# DBUS_SESSION_BUS_ADDRESS, XDG_RUNTIME_DIR, XDG_CURRENT_DESKTOP, XDG_SESSION_TYPE=wayland and
# SESSION_DIR (../wayland/session-common.sh: its folder, exit status, root).
# Debian 12: apt-get install gnome-shell xdg-desktop-portal-gnome (gnome), or kwin-wayland
#   xdg-desktop-portal-kde qtwayland5 (kde), with xdg-desktop-portal and dbus.
# Logs: $SESSION_DIR/{shell,kwin,backend,xdp}.log.
set -u
here=$(dirname "$(readlink -f "$0")")
. "$here/session-common.sh" 2>/dev/null || . "$here/../wayland/session-common.sh" || exit 3
case "${1:-}" in
--as-user)  # stage 2: the right user; private environment and buses
    shift
    desktop=$1; shift
    session_home
    # The frontend falls back to any installed backend for what the desktop's own lack
    # (KDE's GlobalShortcuts on GNOME): it sees only the desktop's own here.
    export XDG_DESKTOP_PORTAL_DIR=$D/portals
    mkdir -p "$XDG_DESKTOP_PORTAL_DIR"
    case $desktop in
    gnome)
        cp /usr/share/xdg-desktop-portal/portals/{gnome,gtk,gnome-shell}.portal "$XDG_DESKTOP_PORTAL_DIR/"
        export XDG_CURRENT_DESKTOP=GNOME GSETTINGS_BACKEND=keyfile
        mkdir -p "$XDG_CONFIG_HOME/glib-2.0/settings"
        cat > "$XDG_CONFIG_HOME/glib-2.0/settings/keyfile" <<EOF
[org/gnome/desktop/background]
picture-uri=''
picture-uri-dark=''
primary-color='#ff8800'
color-shading-type='solid'
picture-options='none'

[org/gnome/desktop/interface]
enable-animations=false

[org/gnome/desktop/notifications]
show-banners=false

[org/gnome/shell]
enabled-extensions=['pelorin-test-session@pelorin.app']
EOF
        # gnome-shell opens in the overview; a small extension closes it and says when the
        # desktop shows.
        ext=$HOME/.local/share/gnome-shell/extensions/pelorin-test-session@pelorin.app
        mkdir -p "$ext"
        echo '{"uuid": "pelorin-test-session@pelorin.app", "name": "Test session", "description": "Closes the overview at start-up", "shell-version": ["43", "44"]}' > "$ext/metadata.json"
        cat > "$ext/extension.js" <<EOF
const { GLib } = imports.gi;
const Main = imports.ui.main;
class Extension {
    enable() {
        const shown = () => {
            Main.overview.hide();
            GLib.timeout_add(GLib.PRIORITY_DEFAULT, 500, () => {
                GLib.file_set_contents('$D/shell-ready', 'ready');
                return GLib.SOURCE_REMOVE;
            });
        };
        if (Main.layoutManager._startingUp)
            Main.layoutManager.connect('startup-complete', shown);
        else
            shown();
    }
    disable() {}
}
function init() { return new Extension(); }
EOF
        # gnome-shell dies in its login-manager code without a system bus.
        bus_config system "unix:path=$D/system_bus" > "$D/system.conf"
        ;;
    kde)
        cp /usr/share/xdg-desktop-portal/portals/kde.portal "$XDG_DESKTOP_PORTAL_DIR/"
        export XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5
        cp /usr/share/dbus-1/services/org.kde.kglobalaccel.service "$D/services/"
        # kwin_wayland carries the file capability cap_sys_resource, which a container may not
        # grant: a copy without it runs anywhere.
        cp /usr/bin/kwin_wayland "$D/bin/kwin_wayland"
        printf '#!/bin/sh\necho "$*" >> "%s/xdg-open.log"\n' "$D" > "$D/bin/xdg-open"
        chmod +x "$D/bin/xdg-open"
        ;;
    *) echo "recipe: unknown desktop '$desktop' (gnome or kde)" >&2; exit 2 ;;
    esac
    bus_config session "unix:dir=$XDG_RUNTIME_DIR" "$D/services" > "$D/session.conf"
    exec dbus-run-session --config-file="$D/session.conf" -- bash "$0" --in-bus "$desktop" "$@"
    ;;
--in-bus)  # stage 3: start the desktop, run CMD, stop what was started
    shift
    desktop=$1; shift
    D=$SESSION_DIR
    case $desktop in
    gnome)
        dbus-daemon --config-file="$D/system.conf" --nofork > "$D/system-bus.log" 2>&1 & pids+=($!)
        export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$D/system_bus
        wait_for 100 test -S "$D/system_bus" || fail "the system bus did not start (see $D/system-bus.log)"
        gnome-shell --headless --wayland --no-x11 --virtual-monitor "${DSK_SIZE:-1280x800}" --wayland-display=wayland-desktop \
            > "$D/shell.log" 2>&1 & pids+=($!)
        wait_for 1200 test -e "$D/shell-ready" || fail "gnome-shell did not show the desktop (see $D/shell.log)"
        backend=/usr/libexec/xdg-desktop-portal-gnome
        backend_name=org.freedesktop.impl.portal.desktop.gnome
        ;;
    kde)
        QT_QPA_PLATFORM=offscreen "$D/bin/kwin_wayland" --virtual --no-lockscreen --socket wayland-desktop \
            --width 1280 --height 800 > "$D/kwin.log" 2>&1 & pids+=($!)
        wait_for 600 test -S "$XDG_RUNTIME_DIR/wayland-desktop" || fail "kwin_wayland did not start (see $D/kwin.log)"
        wait_for 300 has_name org.kde.kglobalaccel || fail "KDE's shortcut service did not start (see $D/kwin.log)"
        backend=/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde
        backend_name=org.freedesktop.impl.portal.desktop.kde
        ;;
    esac
    export WAYLAND_DISPLAY=wayland-desktop
    PATH=$D/bin:$PATH QT_QPA_PLATFORM=wayland "$backend" > "$D/backend.log" 2>&1 & pids+=($!)
    wait_for 600 has_name "$backend_name" || fail "$(basename "$backend") did not start (see $D/backend.log)"
    /usr/libexec/xdg-desktop-portal -v > "$D/xdp.log" 2>&1 & pids+=($!)
    wait_for 600 has_name org.freedesktop.portal.Desktop || fail "xdg-desktop-portal did not start (see $D/xdp.log)"
    if [ "$desktop" = gnome ] && [ "${DSK_SCALE:-1}" != 1 ]; then
        config="--session --dest org.gnome.Mutter.DisplayConfig --object-path /org/gnome/Mutter/DisplayConfig
                --method org.gnome.Mutter.DisplayConfig"
        # shellcheck disable=SC2086
        serial=$(gdbus call $config.GetCurrentState | sed -E 's/^\(uint32 ([0-9]+).*/\1/')
        # shellcheck disable=SC2086
        gdbus call $config.ApplyMonitorsConfig "$serial" 1 \
            "[(0, 0, $DSK_SCALE.0, 0, true, [('Meta-0', '${DSK_SIZE:-1280x800}@60.000', {})])]" '{}' > /dev/null ||
            fail "GNOME did not take the scale $DSK_SCALE for a monitor of ${DSK_SIZE:-1280x800}"
        sleep 1  # the shell repaints at the new scale
    fi
    if [ "$desktop" = gnome ]; then
        # As when the user allowed Pelorin's screenshots once: no access dialog.
        gdbus call --session --dest org.freedesktop.impl.portal.PermissionStore \
            --object-path /org/freedesktop/impl/portal/PermissionStore \
            --method org.freedesktop.impl.portal.PermissionStore.SetPermission screenshot true screenshot '' "['yes']" \
            > /dev/null || fail "the permission store did not take the screenshot permission"
    fi
    session_run "$@"
    exit $?
    ;;
*)  # stage 1: caller
    [ $# -ge 2 ] || { echo "usage: $0 gnome|kde CMD [ARGS...]" >&2; exit 2; }
    session_enter "$0" "$@"
    ;;
esac
