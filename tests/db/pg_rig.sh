#!/bin/bash
# A throwaway PostgreSQL for the database tests, on a Unix socket in its own folder only.
#   pg_rig.sh start STATEFILE   initdb, start, create database pxr7; STATEFILE gets dir= and url=
#   pg_rig.sh stop STATEFILE    stop and remove it
#   pg_rig.sh pause STATEFILE [fast|immediate]   stop the server (fast by default), keeping
#                               its folder
#   pg_rig.sh resume STATEFILE  start it again on the same folder and socket
#   pg_rig.sh fresh STATEFILE NAME   (re)create database NAME; prints its URL
# Without PostgreSQL the state file gets no url= and the tests skip, unless
# PXR7_REQUIRE_DATABASE=1 asks for it, then start fails.
set -euo pipefail

command=${1:?usage: pg_rig.sh start|stop|pause|resume|fresh STATEFILE [NAME]}
state=${2:?usage: pg_rig.sh start|stop|pause|resume|fresh STATEFILE [NAME]}
bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)

# The server refuses to run as root: then the postgres user owns and runs it.
if [ "$(id -u)" = 0 ]; then
    owner=postgres
    as_owner() { runuser -u postgres -- "$@"; }
else
    owner=$(id -un)
    as_owner() { "$@"; }
fi

field() { sed -n "s/^$1=//p" "$state" 2>/dev/null; }

pg_ctl_on() { as_owner "$bindir/pg_ctl" -D "$1/data" -l "$1/server.log" -w -t 30 "${@:2}"; }

start() {
    [ -f "$state" ] && stop
    mkdir -p "$(dirname "$state")"
    if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
        echo "no PostgreSQL server here (Debian: postgresql)" >&2
        : >"$state"
        [ "${PXR7_REQUIRE_DATABASE:-}" = 1 ] && exit 1
        exit 0
    fi
    dir=$(mktemp -d /tmp/pxr7-pg.XXXXXX)
    [ "$owner" = postgres ] && chown postgres: "$dir"
    as_owner "$bindir/initdb" -D "$dir/data" -E UTF8 --auth=trust -U "$owner" >/dev/null
    cat >>"$dir/data/postgresql.conf" <<CONF
listen_addresses = ''
unix_socket_directories = '$dir'
fsync = off
synchronous_commit = off
full_page_writes = off
CONF
    printf 'dir=%s\nurl=postgresql:///pxr7?host=%s&user=%s\n' "$dir" "$dir" "$owner" >"$state"
    pg_ctl_on "$dir" start >/dev/null
    as_owner "$bindir/createdb" -h "$dir" -U "$owner" pxr7
}

stop() {
    dir=$(field dir)
    if [ -n "$dir" ] && [ -d "$dir" ]; then
        pg_ctl_on "$dir" stop -m fast >/dev/null 2>&1 || true
        rm -rf "$dir"
    fi
    rm -f "$state"
}

fresh() {
    name=${1:?a database name}
    dir=$(field dir)
    [ -n "$dir" ] || exit 77
    as_owner "$bindir/dropdb" --if-exists -h "$dir" -U "$owner" "$name"
    as_owner "$bindir/createdb" -h "$dir" -U "$owner" "$name"
    echo "postgresql:///$name?host=$dir&user=$owner"
}

case "$command" in
start) start ;;
stop) stop ;;
pause) pg_ctl_on "$(field dir)" stop -m "${3:-fast}" >/dev/null ;;
resume) pg_ctl_on "$(field dir)" start >/dev/null ;;
fresh) fresh "${3:-}" ;;
*)
    echo "pg_rig.sh: unknown command $command" >&2
    exit 2
    ;;
esac
