# The one recipe for the Wine prefixes this project makes, sourced by
# cmake/wine-run.sh (the test prefixes) and scripts/run-agent.sh (the
# prefix you watch the agent in). It defines functions only.
#
# Expects WINEPREFIX set, and a `quiet` function that runs a command with
# no terminal or pipe attached.

wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine

# Bumped whenever wine_make_prefix changes, so older prefixes are made anew.
wine_prefix_mark=.perimand-prefix-3

# True when this kernel executes 32-bit programs. Some kernels are built
# without 32-bit support; there Wine can run only 64-bit Windows programs.
wine_can_run_32bit() {
    [[ -x $wine32 ]] && quiet "$wine32" --version
}

wine_prefix_ready() { [[ -f $WINEPREFIX/$wine_prefix_mark ]]; }

# Makes $WINEPREFIX anew. MODE "null": Wine's null display driver, for
# tests that need no screen. MODE "desktop": an 800x600 default desktop
# with a taskbar, so the notification area exists and FindWindow and
# broadcasts reach the agent.
wine_make_prefix() {
    local mode=$1 attempt
    # A first boot now and then fails at once under a busy Wine (the server
    # of a prefix just deleted may still answer for the reused folder):
    # start over a moment later.
    for attempt in 1 2 3; do
        quiet wineserver -k || true
        rm -rf "$WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        quiet "$wine64" wineboot -i && break
        [[ $attempt == 3 ]] && return 1
        sleep 2
    done
    # No window manager on Xvfb: without this, hiding a window waits for one.
    quiet "$wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f || return 1
    case $mode in
        null)
            quiet "$wine64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f || return 1
            ;;
        desktop)
            quiet "$wine64" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f || return 1
            quiet "$wine64" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f || return 1
            quiet "$wine64" reg add 'HKCU\Software\Wine\Explorer\Desktops\Default' /v EnableShell \
                /t REG_DWORD /d 1 /f || return 1
            ;;
    esac
    # A crashing program would otherwise start winedbg --auto, which holds
    # its caller's pipes open until a time-out. A debugger command that
    # returns at once lets the program end with its exception code. Both
    # registry views: 32-bit programs read the other one. Deleting the value
    # is not enough, as Wine then falls back to winedbg.
    local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' view
    for view in 64 32; do
        quiet "$wine64" reg add "$key" /v Debugger /d 'cmd /c rem %ld %ld' /f "/reg:$view" || return 1
        quiet "$wine64" reg add "$key" /v Auto /d 1 /f "/reg:$view" || return 1
    done
    # Let the boot session end so the registry is on disk and the next
    # server is a persistent one.
    quiet wineserver -w || true
    touch "$WINEPREFIX/$wine_prefix_mark"
}
