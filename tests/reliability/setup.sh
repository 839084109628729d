# shellcheck shell=bash
# sandbox/run's --setup for a fault row: sourced inside the sandbox before
# morvid starts, it runs the setup() of the row ROW names, if it has one.
# shellcheck source=/dev/null # words.sh and the row, each checked on its own
source "$REPO/tests/reliability/words.sh" && source "$ROW" && { ! declare -F setup >/dev/null || setup; }
