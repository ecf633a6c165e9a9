# shellcheck shell=bash
# Sourced by the tools that build: run_quietly LOG COMMAND... runs a step with its output kept in
# LOG, says nothing when it works and shows the whole log when it fails. (Without the log, a
# failed build says only "subcommand failed", its compiler errors having gone with the output.)
run_quietly() {
    local log=$1
    shift
    mkdir -p "$(dirname "$log")"
    if ! "$@" > "$log" 2>&1; then
        cat "$log" >&2
        echo "failed: $* (output above, kept in $log)" >&2
        exit 1
    fi
}
