# Sourced by the scripts that run the Windows program: a private X screen when there is no
# display. start_xvfb exports DISPLAY and sets XVFB_PID; stop_xvfb ends it.
XVFB_PID=""

start_xvfb() {
    command -v Xvfb >/dev/null || { echo "no display and no Xvfb" >&2; return 1; }
    local n
    for n in $(seq 90 140); do
        [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        for _ in $(seq 50); do
            [[ -e /tmp/.X11-unix/X$n ]] && break
            sleep 0.1
        done
        if kill -0 "$XVFB_PID" 2>/dev/null && [[ -e /tmp/.X11-unix/X$n ]]; then
            export DISPLAY=":$n"
            return 0
        fi
        XVFB_PID=""
    done
    echo "could not start Xvfb" >&2
    return 1
}

stop_xvfb() {
    if [[ -n "$XVFB_PID" ]]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=""
    fi
}
