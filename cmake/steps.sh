# Named steps for the set-up scripts (run.sh, test.sh): a failure says which step failed, the
# command and its exit code, and shows the command's output. Nothing ends in silence.
#   step "Building"                   the step that the following commands belong to
#   quietly build cmake --build ...   a command whose output matters only when it fails: kept
#                                     in build/logs/build.log, shown when the command fails
# Sourced from the project's top folder, after `set -euo pipefail`.

SETUP_STEP="Starting"
SETUP_LOG_DIR="${SETUP_LOG_DIR:-$PWD/build/logs}"

step() {
  SETUP_STEP="$1"
  echo "== $1"
}

# The last lines of a log, framed, on stderr.
show_log() {
  local log="$1" lines="${2:-60}"
  echo "---- last $lines lines of $log" >&2
  tail -n "$lines" "$log" >&2
  echo "----" >&2
}

quietly() {
  local log="$SETUP_LOG_DIR/$1.log" rc=0
  shift
  mkdir -p "$SETUP_LOG_DIR"
  "$@" >"$log" 2>&1 || rc=$?
  if [ "$rc" != 0 ]; then
    echo "\`$*\` exited with $rc" >&2
    show_log "$log"
    return "$rc"
  fi
}

# Called for every command whose failure ends the script. Subshells and functions inherit it
# (errtrace): a failure inside a subshell is named there, then where the subshell was called.
# When a function failed through `return`, the command is the line that called it.
step_failed() {
  local rc="$1" command="$2" file="$3" line="$4"
  case "$command" in
    return*) if [ -r "$file" ]; then command=$(sed -n "${line}{s/^ *//;p}" "$file"); fi ;;
  esac
  command="${command%%$'\n'*}"
  if [ "${#command}" -gt 100 ]; then command="${command:0:100} ..."; fi
  echo "FAILED in step \"$SETUP_STEP\": \`$command\` exited with $rc ($file:$line)" >&2
}
set -o errtrace
trap 'step_failed $? "$BASH_COMMAND" "${BASH_SOURCE[0]:-$0}" "$LINENO"' ERR
