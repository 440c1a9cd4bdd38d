#!/bin/bash
# desktop-session.sh sway|gnome|kde CMD [ARGS...]
# Runs CMD in a throw-away headless Wayland session of a real desktop, with the real
# xdg-desktop-portal and the desktop's own backend, on private D-Bus buses:
#   sway   a 1280x800 output at scale $DSK_SCALE painted #ff8800, xdg-desktop-portal-wlr (which writes
#          every screenshot to /tmp/out.png: one session at a time per machine) and gtk's .portal file
#          (the frontend offers Screenshot only beside an Access backend). DSK_SLURP="X,Y WxH" or
#          "cancel" answers interactive screenshots through a stand-in slurp.
#   gnome  gnome-shell --headless, one virtual monitor of $DSK_SIZE at scale
#          $DSK_SCALE, background #ff8800, the overview closed, screenshots allowed as after a yes.
#   kde    kwin_wayland --virtual (1280x800) and its shortcuts service; xdg-open is a stand-in that
#          appends its argument to $SESSION_DIR/xdg-open.log.
# CMD sees WAYLAND_DISPLAY, DBUS_SESSION_BUS_ADDRESS, XDG_* and SESSION_DIR, the folder it may write.
# As root the session runs as nobody. Exit status: CMD's, or 3 when the session did not come up.
set -u
bus_config() {  # TYPE ADDRESS [SERVICEDIR]
    cat <<EOC
<busconfig><type>$1</type><keep_umask/><listen>$2</listen><auth>EXTERNAL</auth>
  ${3:+<servicedir>$3</servicedir>}
  <policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy>
</busconfig>
EOC
}
pids=()
stop() { for ((i=${#pids[@]}-1; i>=0; i--)); do kill "${pids[i]}" 2>/dev/null; done; wait 2>/dev/null; }
fail() { echo "recipe: $*" >&2; stop; exit 3; }
has_name() { gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
               --method org.freedesktop.DBus.NameHasOwner "$1" 2>/dev/null | grep -q true; }
wait_for() {  # TENTHS CONDITION...
    local n=$1; shift
    for _ in $(seq "$n"); do "$@" && return 0; sleep 0.1; done
    return 1
}
D=$SESSION_DIR
case "${1:-}" in
--as-user)  # stage 2: the right user; a home, runtime folder and buses of the session's own
    desktop=$2; shift 2
    export HOME=$D/home XDG_RUNTIME_DIR=$D/run XDG_CONFIG_HOME=$D/home/.config XDG_SESSION_TYPE=wayland
    export PATH=/usr/local/bin:/usr/bin:/bin
    unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS DBUS_SYSTEM_BUS_ADDRESS
    mkdir -p "$XDG_CONFIG_HOME" "$D/services" "$D/bin" && mkdir -p -m 0700 "$XDG_RUNTIME_DIR" || exit 3
    # Only the permission store can be started on the bus: nothing installed answers in place
    # of the session's own programs.
    cp /usr/share/dbus-1/services/org.freedesktop.impl.portal.PermissionStore.service "$D/services/"
    # The frontend falls back to any installed backend for what the desktop's own lack (KDE's
    # GlobalShortcuts on GNOME): it sees only the desktop's own here.
    portals() { export XDG_DESKTOP_PORTAL_DIR=$D/portals; mkdir -p "$D/portals"; cp "$@" "$D/portals/"; }
    case $desktop in
    sway)
        export XDG_CURRENT_DESKTOP=sway WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman
        printf 'output HEADLESS-1 resolution 1280x800 position 0 0 scale %s bg #ff8800 solid_color\ndefault_border none\n' \
            "$DSK_SCALE" > "$D/sway.conf"
        printf '#!/bin/sh\n[ "%s" = cancel ] && { echo "selection cancelled" >&2; exit 1; }\necho "%s"\n' \
            "$DSK_SLURP" "$DSK_SLURP" > "$D/bin/slurp"
        chmod +x "$D/bin/slurp"
        ;;
    gnome)
        portals /usr/share/xdg-desktop-portal/portals/{gnome,gtk,gnome-shell}.portal
        export XDG_CURRENT_DESKTOP=GNOME GSETTINGS_BACKEND=keyfile
        mkdir -p "$XDG_CONFIG_HOME/glib-2.0/settings"
        cat > "$XDG_CONFIG_HOME/glib-2.0/settings/keyfile" <<EOF
[org/gnome/desktop/background]
picture-uri=''
primary-color='#ff8800'
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
function shown() {
    Main.overview.hide();
    GLib.timeout_add(GLib.PRIORITY_DEFAULT, 500, () => GLib.file_set_contents('$D/shell-ready', 'ready') && GLib.SOURCE_REMOVE);
}
function init() {
    return {
        enable() { Main.layoutManager._startingUp ? Main.layoutManager.connect('startup-complete', shown) : shown(); },
        disable() {},
    };
}
EOF
        # gnome-shell dies in its login-manager code without a system bus.
        bus_config system "unix:path=$D/system_bus" > "$D/system.conf"
        ;;
    kde)
        portals /usr/share/xdg-desktop-portal/portals/kde.portal
        export XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5
        cp /usr/share/dbus-1/services/org.kde.kglobalaccel.service "$D/services/"
        # kwin_wayland carries the file capability cap_sys_resource, which a container may not
        # grant: a copy without it runs anywhere.
        cp /usr/bin/kwin_wayland "$D/bin/kwin_wayland"
        printf '#!/bin/sh\necho "$*" >> "%s/xdg-open.log"\n' "$D" > "$D/bin/xdg-open"
        chmod +x "$D/bin/xdg-open"
        ;;
    esac
    bus_config session "unix:dir=$XDG_RUNTIME_DIR" "$D/services" > "$D/session.conf"
    exec dbus-run-session --config-file="$D/session.conf" -- bash "$0" --in-bus "$desktop" "$@"
    ;;
--in-bus)  # stage 3: start the desktop, run CMD, stop what was started
    desktop=$2; shift 2
    display=wayland-desktop
    case $desktop in
    sway)
        sway -c "$D/sway.conf" -d > "$D/sway.log" 2>&1 & pids+=($!)
        socket() { display=$(ls "$XDG_RUNTIME_DIR" 2>/dev/null | grep -E '^wayland-[0-9]+$' | head -1); [ -n "$display" ]; }
        wait_for 100 socket || fail "sway did not start (see $D/sway.log)"
        # swaybg has painted when the top-left pixel, read with grim, is #ff8800.
        painted() { px=$(WAYLAND_DISPLAY=$display grim -g "0,0 1x1" -t ppm - 2>/dev/null | tail -c 3 | od -An -tx1 | tr -d ' \n'); [ "$px" = ff8800 ]; }
        wait_for 50 painted || fail "the screen never turned #ff8800 (last pixel '$px'; see $D/sway.log)"
        if [ -e /tmp/out.png ] && ! [ -w /tmp/out.png ]; then fail "/tmp/out.png exists and is not writable by $(id -un)"; fi
        # xdg-desktop-portal-wlr exits at start-up when it cannot reach a PipeWire daemon.
        pipewire > "$D/pipewire.log" 2>&1 & pids+=($!)
        wait_for 50 test -S "$XDG_RUNTIME_DIR/pipewire-0" || fail "pipewire did not start (see $D/pipewire.log)"
        backend=/usr/libexec/xdg-desktop-portal-wlr
        backend_name=org.freedesktop.impl.portal.desktop.wlr
        ;;
    gnome)
        dbus-daemon --config-file="$D/system.conf" --nofork > "$D/system-bus.log" 2>&1 & pids+=($!)
        export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$D/system_bus
        wait_for 100 test -S "$D/system_bus" || fail "the system bus did not start (see $D/system-bus.log)"
        gnome-shell --headless --wayland --no-x11 --virtual-monitor "$DSK_SIZE" --wayland-display=wayland-desktop \
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
    export WAYLAND_DISPLAY=$display
    PATH=$D/bin:$PATH QT_QPA_PLATFORM=wayland "$backend" > "$D/backend.log" 2>&1 & pids+=($!)
    wait_for 600 has_name "$backend_name" || fail "$(basename "$backend") did not start (see $D/backend.log)"
    /usr/libexec/xdg-desktop-portal -v > "$D/xdp.log" 2>&1 & pids+=($!)
    wait_for 600 has_name org.freedesktop.portal.Desktop || fail "xdg-desktop-portal did not start (see $D/xdp.log)"
    if [ "$desktop" = gnome ]; then
        if [ "$DSK_SCALE" != 1 ]; then
            config="--session --dest org.gnome.Mutter.DisplayConfig --object-path /org/gnome/Mutter/DisplayConfig
                    --method org.gnome.Mutter.DisplayConfig"
            # shellcheck disable=SC2086
            serial=$(gdbus call $config.GetCurrentState | sed -E 's/^\(uint32 ([0-9]+).*/\1/')
            # shellcheck disable=SC2086
            gdbus call $config.ApplyMonitorsConfig "$serial" 1 \
                "[(0, 0, $DSK_SCALE.0, 0, true, [('Meta-0', '$DSK_SIZE@60.000', {})])]" '{}' > /dev/null ||
                fail "GNOME did not take the scale $DSK_SCALE for a monitor of $DSK_SIZE"
            sleep 1  # the shell repaints at the new scale
        fi
        gdbus call --session --dest org.freedesktop.impl.portal.PermissionStore \
            --object-path /org/freedesktop/impl/portal/PermissionStore \
            --method org.freedesktop.impl.portal.PermissionStore.SetPermission screenshot true screenshot '' "['yes']" \
            > /dev/null || fail "the permission store did not take the screenshot permission"
    fi
    "$@"
    rc=$?
    stop
    # The shared /tmp/out.png left behind would block other users' next sway session.
    [ -O /tmp/out.png ] && rm -f /tmp/out.png
    exit $rc
    ;;
*)  # stage 1: the caller
    mkdir -p "$D/scripts" && cp "$(readlink -f "$0")" "$D/scripts/" && chmod -R a+rX "$D/scripts" || exit 3
    set -- "$D/scripts/desktop-session.sh" --as-user "$@"
    if [ "$(id -u)" = 0 ]; then
        chown -R 65534:65534 "$D"
        exec setpriv --reuid=65534 --regid=65534 --clear-groups bash "$@"
    fi
    exec bash "$@"
    ;;
esac
