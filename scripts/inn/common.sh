# Shared by the INN scripts: where INN lives, how to get root, how to act as news.
# shellcheck shell=bash

INN_BIN=/usr/lib/news/bin
# Exit status that means "could not run here" (the usual test-skip code).
INN_SKIP=77

inn_installed() {
    [ -x "$INN_BIN/innd" ] && [ -x "$INN_BIN/nnrpd" ] && [ -x "$INN_BIN/rnews" ] &&
        dpkg-query -W -f='${Status}' inn2 2>/dev/null | grep -q 'install ok installed'
}

# Runs the calling script again as root when it is not root: through sudo when
# that works without a password. Returns when already root; exits with the
# skip status when neither is possible.
#   inn_become_root "$0" "$@"
inn_become_root() {
    [ "$(id -u)" = 0 ] && return 0
    if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
        exec sudo -n "$@"
    fi
    echo "SKIPPED: the INN tests need root or password-less sudo (INN runs as user news)." >&2
    exit "$INN_SKIP"
}

# Sets AS_NEWS: the command prefix that runs a program as the news user with
# the server's INNCONF and nothing else from our environment. Every part of it
# execs, so a program started in the background keeps the PID in $!.
#   as_news_prefix DIR; "${AS_NEWS[@]}" command args...
as_news_prefix() {
    AS_NEWS=(setpriv --reuid=news --regid=news --init-groups
        env -i PATH="$INN_BIN:/usr/bin:/bin" HOME="$1" INNCONF="$1/etc/inn.conf")
}

#   as_news DIR command args...
as_news() {
    as_news_prefix "$1"
    shift
    "${AS_NEWS[@]}" "$@"
}

# A stored value from DIR/state (lines KEY=VALUE).
state_value() {
    sed -n "s/^$2=//p" "$1/state" 2>/dev/null | tail -n 1
}
