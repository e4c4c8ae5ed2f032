#!/usr/bin/env bash
# wine.sh COMMAND PREFIX ...: Wine for the commands and CTest, in the prefix PREFIX
# (made unless it is there), with the environment the set-up wrote (build/i386/env).
#   start PREFIX [win64]  starts a private Xvfb (xvfb-run -a) and a Wine session
#                         on it, which the programs run in it share; stop PREFIX ends them;
#   test PREFIX [--cases FILE] PROGRAM ARGS...  runs a test program in the session;
#   run PREFIX PROGRAM ARGS...  runs PROGRAM on the caller's display, and waits
#                         until every program of the prefix has ended.
# Every Windows process that a program starts inherits a mark from it, which is
# never exported: whatever carries it once the program has ended is ended by it.
# shellcheck disable=SC1090 # the files it reads are written by the set-up and by start
set -uo pipefail
command=$1 prefix=$2 && shift 2
root=$(cd "$(dirname "$0")/.." && pwd) session=$prefix/pinnit-session
PINNIT_WINEDLLOVERRIDES=""
set -a && { [ ! -f "$root/build/i386/env" ] || . "$root/build/i386/env"; } && set +a
# Debian's 64-bit Wine server serves 32-bit and 64-bit prefixes alike, and never
# runs under the emulator, where every call of every Wine process would wait on it.
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} WINESERVER=/usr/lib/wine/wineserver64
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d$PINNIT_WINEDLLOVERRIDES"

fail() { echo "wine.sh: $*" >&2 && exit 1; }

# end_marked MARK [TENTHS]: ends every process that carries MARK, after TENTHS
# of a second to end by itself.
end_marked() {
    local pids
    for try in $(seq 50); do
        pids=$(grep -lxz "PINNIT_TEST_MARK=$1" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3)
        [ -n "$pids" ] || return 0
        # shellcheck disable=SC2086 # one pid a word
        [ "$try" -le "${2:-0}" ] || kill -KILL $pids 2>/dev/null
        sleep 0.1
    done
}

# A prefix whose desktop, with a taskbar, every program opens in.
make_prefix() {
    [ ! -f "$prefix/pinnit-made" ] || return 0
    rm -rf "$prefix"
    echo "wine.sh: creating the Wine prefix $prefix (takes a while the first time)" >&2
    mkdir -p "$prefix" && WINEARCH=${1:-win32} wineboot -i >/dev/null 2>&1 || fail "wineboot could not create $prefix"
    # Debian's 32-bit Wine does not look in its own font folder: without Marlett
    # the caption buttons come out as letters, without Tahoma dialogs use DejaVu.
    cp /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/"
    # Wine 8 reads EnableShell for every desktop, Wine 10 from each desktop's own key.
    printf '%s\n' REGEDIT4 '[HKEY_CURRENT_USER\Software\Wine\Explorer]' '"Desktop"="Default"' \
        '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]' '"Default"="1024x700"' '"EnableShell"=dword:1' \
        '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops\Default]' '"EnableShell"=dword:1' >"$prefix/pinnit.reg"
    wine reg import "Z:$prefix/pinnit.reg" >/dev/null 2>&1 || fail "setting up the desktop of $prefix"
    # The registry reaches the disk only when the server exits by itself.
    "$WINESERVER" -w
    [ "${1:-}" != win64 ] || [ -d "$prefix/drive_c/windows/syswow64" ] || fail "$prefix is not a 64-bit prefix"
    touch "$prefix/pinnit-made"
}

stop_session() {
    "$WINESERVER" -k 2>/dev/null
    [ -f "$session" ] || return 0
    # The Xvfb ends with the server; under the emulator Wine 10's services can outlive it.
    end_marked "$(sed -n 's/^PINNIT_SESSION_MARK=//p' "$session")" 50 && rm -f "$session"
}

case $command in
start)
    make_prefix "$@"
    stop_session
    mark=pinnit-session-$$-$(date +%s%N)
    echo "PINNIT_SESSION_MARK=$mark" >"$session"
    # A server in another root filesystem shows only by its abstract socket.
    n=99
    while grep -q "@/tmp/.X11-unix/X$n\$" /proc/net/unix; do n=$((n + 1)); done
    PINNIT_TEST_MARK=$mark setsid xvfb-run -a -n "$n" -s "-screen 0 1024x700x24 -nolisten tcp" sh -c \
        'printf "DISPLAY=%s\nXAUTHORITY=%s\n" "$DISPLAY" "$XAUTHORITY" >>"$0" && exec "$WINESERVER" -f -p' \
        "$session" </dev/null >/dev/null 2>&1 &
    for _ in $(seq 300); do grep -q ^XAUTHORITY= "$session" && break; sleep 0.1; done
    set -a && . "$session" && set +a && [ -n "${DISPLAY:-}" ] || fail "Xvfb did not start"
    PINNIT_TEST_MARK=$mark wine wineboot >/dev/null 2>&1 || fail "wineboot could not start the session's services"
    echo "wine.sh: a Wine session in $prefix on $DISPLAY"
    ;;
stop) stop_session ;;
test)
    [ -f "$session" ] || fail "no Wine session in $prefix: ctest starts it for the tests that need it"
    set -a && . "$session" && set +a
    limit=${PINNIT_TEST_TIMEOUT:-280} mark=pinnit-test-$$-$(date +%s%N) out=$(mktemp) report=""
    # With --cases NAME.cases, the program writes its report to NAME.xml.
    [ "$1" != --cases ] || { cases=$2 report=${2%.cases}.xml && shift 2 && rm -f "$report"; }
    # The output goes through a file, which nothing left behind can hold open.
    PINNIT_TEST_MARK=$mark timeout -s KILL "$limit" wine "$@" ${report:+"--gtest_output=xml:Z:$report"} >"$out" 2>&1
    status=$?
    [ "$status" -ne 137 ] || echo "wine.sh: $1 ran past $limit s and was ended" >>"$out"
    end_marked "$mark"
    cat "$out" && rm -f "$out"
    # A report's cases are CTest tests of their own, which read their results
    # from it: it passes once written, if each case it holds is one of those.
    if [ -n "$report" ] && [ "$status" -ne 137 ] && [ -s "$report" ]; then
        unknown=$(sed -n 's/.*<testcase name="\([^"]*\)".* classname="\([^"]*\)".*/\2.\1/p' "$report" | grep -vxF -f "$cases")
        status=0
        [ -z "$unknown" ] || { echo "wine.sh: these ran, but are not CTest tests:" $unknown && status=1; }
    fi
    exit "$status"
    ;;
run)
    make_prefix
    echo "wine.sh: running $1 on $DISPLAY" >&2
    wine "$@" && exec "$WINESERVER" -w
    ;;
*) fail "no command '$command'" ;;
esac
