# The two helpers every shell script of the build and its tests uses; source
# it, do not run it. Set die_name (how messages start) and die_status (the
# exit code) first when the defaults do not suit.

die() { echo "${die_name:-error}: $*" >&2; exit "${die_status:-1}"; }

# Runs a command with no pipe or terminal attached (Wine's helper processes
# would otherwise keep the caller's output open long after it returned), and
# with fd 9 closed: a wineserver that inherited a caller's lock on it would
# hold the lock for its whole life.
quiet() { "$@" </dev/null >/dev/null 2>&1 9>&-; }
