# Sourced by portal-session.sh and desktop-session.sh: what every throw-away session does.
# Stage 1 (session_enter SCRIPT ARGS...), as the caller: a folder $SESSION_DIR the session may
# write to (SESSION_KEEP=1 keeps it afterwards); the later stages run from a copy of the scripts
# there, and as root as user nobody (65534), as a desktop session would not run as root: CMD
# must then be readable/executable by nobody and write only under $SESSION_DIR. Exit status:
# CMD's, or 3 when the session did not come up.
session_enter() {
    local self dir=${SESSION_DIR:-$(mktemp -d /tmp/session.XXXXXX)} rc
    self=$(readlink -f "$1"); shift
    mkdir -p "$dir/scripts" && [ -w "$dir" ] || { echo "recipe: cannot write to $dir" >&2; exit 3; }
    cp "$self" "${BASH_SOURCE[0]}" "$dir/scripts/" && chmod -R a+rX "$dir/scripts" || exit 3
    set -- "$dir/scripts/$(basename "$self")" --as-user "$@"
    if [ "$(id -u)" = 0 ]; then
        chown -R 65534:65534 "$dir"
        setpriv --reuid=65534 --regid=65534 --clear-groups env SESSION_DIR="$dir" bash "$@"
    else
        SESSION_DIR="$dir" bash "$@"
    fi
    rc=$?
    [ "${SESSION_KEEP:-0}" = 1 ] || rm -rf "$dir"
    exit $rc
}

# Stage 2: a home and runtime folder of the session's own. Only the permission store can be
# started on the session bus: nothing installed answers in place of the session's programs.
session_home() {
    D=$SESSION_DIR
    export HOME=$D/home XDG_RUNTIME_DIR=$D/run XDG_CONFIG_HOME=$D/home/.config XDG_SESSION_TYPE=wayland
    export PATH=/usr/local/bin:/usr/bin:/bin
    unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS DBUS_SYSTEM_BUS_ADDRESS
    mkdir -p "$XDG_CONFIG_HOME" "$D/services" "$D/bin" && mkdir -p -m 0700 "$XDG_RUNTIME_DIR" || exit 3
    cp /usr/share/dbus-1/services/org.freedesktop.impl.portal.PermissionStore.service "$D/services/"
}

bus_config() {  # TYPE ADDRESS [SERVICEDIR]
    cat <<EOC
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>$1</type>
  <keep_umask/>
  <listen>$2</listen>
  <auth>EXTERNAL</auth>
  ${3:+<servicedir>$3</servicedir>}
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOC
}

# Stage 3: start the session's programs (pids), run CMD (session_run), stop them in reverse.
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
t0=$(date +%s%N)
session_run() {  # CMD...
    echo "recipe: session up in $(( ($(date +%s%N) - t0) / 1000000 )) ms (WAYLAND_DISPLAY=$WAYLAND_DISPLAY)" >&2
    "$@"
    local rc=$?
    stop
    return $rc
}
