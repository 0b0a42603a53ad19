# Sourced by the demo and the benchmark scripts: starts a private INN2 server on 127.0.0.1 for the given groups
# in a fresh directory under /tmp, and stops it and removes the directory when the calling script exits.
# Sets WORK (the directory, traversable by user news), PORT and INN (the instance script).
start_private_news_server() { # start_private_news_server NAME GROUP...
    local name="$1"; shift
    WORK="$(mktemp -d "/tmp/spindrel-$name-XXXXXX")"
    chmod 755 "$WORK"
    INN="$ROOT/tests/support/inn-instance.sh"
    trap 'bash "$INN" stop "$WORK/inn" >/dev/null 2>&1 || true; rm -rf "$WORK"' EXIT
    PORT="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')"
    mkdir -p "$WORK/inn"
    local args=()
    for group in "$@"; do args+=(--group "$group"); done
    bash "$INN" start "$WORK/inn" "$PORT" "${args[@]}" >/dev/null
}
