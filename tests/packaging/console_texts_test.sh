#!/usr/bin/env bash
# The built programs on the console: --version, --help, refusals with their exact message and
# exit status; the man pages hold every option of the help; the completion offers what the help
# lists; a second camsim on a state folder or link is refused.
# usage: console_texts_test.sh BUILD_DIR SOURCE_DIR VERSION
set -uo pipefail
build="$1"
source_dir="$2"
version="$3"
bin="$build/bin"
scratch="$(mktemp -d)"
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait; rm -rf "$scratch"' EXIT
export PATH="$bin:$PATH"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
passed=0
failed=0

# expect STATUS STDOUT STDERR COMMAND...: the exit status and both streams exactly ("*" for any
# text; a text ending in "..." for its beginning).
expect() {
    local status="$1" problem=""
    local -A want=([out]="$2" [err]="$3")
    shift 3
    "$@" >"$scratch/out" 2>"$scratch/err" </dev/null
    local got=$?
    [ "$got" = "$status" ] || problem="exit $got, expected $status"
    for stream in out err; do
        local have
        have="$(cat "$scratch/$stream")"
        case "${want[$stream]}" in
            "*") ;;
            *...) [[ "$have" == "${want[$stream]%...}"* ]] || problem="$problem; std$stream: $have" ;;
            *) [ "$have" = "${want[$stream]}" ] || problem="$problem; std$stream: $have" ;;
        esac
    done
    if [ -z "$problem" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL $*: $problem"
    fi
}

programs=(kelvoflash-cli camsim make-sample-update)
[ -x "$bin/kelvoflash" ] && programs+=(kelvoflash)
for p in "${programs[@]}"; do
    expect 0 "$p $version" "" "$p" --version
    expect 0 "$p: ..." "" "$p" --help
done

# Refusals: the message names what is wrong; 2 for a wrong command line.
expect 2 "" "kelvoflash-cli: unknown subcommand 'flash' (see kelvoflash-cli --help)" \
    kelvoflash-cli flash
expect 2 "" "A subcommand is required
Run with --help for more information." kelvoflash-cli
expect 0 "check an update file..." "" kelvoflash-cli inspect --help
expect 2 "" "camsim: bad or missing value for --camlink-port (see --help)" \
    camsim --camlink-port 65536
expect 2 "" "camsim: bad or missing value for --description (see --help)" \
    camsim --description "$(printf '%040d' 0)"
expect 2 "" "camsim: --link: 1 required PATH missing (see --help)" camsim --link
expect 2 "" "camsim: The following argument was not expected: --pty (see --help)" camsim --pty
expect 2 "" "make-sample-update: bad version '3.x'" \
    make-sample-update "$scratch/a.qup" --version 3.x --variant 4
expect 2 "" "make-sample-update: bad device list '0,5'" \
    make-sample-update "$scratch/a.qup" --version 3.02 --variant 4 --devices 0,5
expect 2 "" "--variant is required
Run with --help for more information." make-sample-update "$scratch/a.qup" --version 3.02
expect 0 "$scratch/a.qup: ..." "" \
    make-sample-update "$scratch/a.qup" --version 3.02 --variant 4 --devices 2,3 --small
if [ -x "$bin/kelvoflash" ]; then
    expect 0 "usage: ..." "" kelvoflash -H
    expect 0 "usage: ..." "" kelvoflash "?"
    expect 1 "" "kelvoflash: no display to open the dialogs on (DISPLAY and WAYLAND_DISPLAY are \
not set); kelvoflash-cli does the same work on the console" kelvoflash -S -T0 -B0
fi

# Every option and subcommand of the help is in the man page (escaped as roff writes it).
for p in kelvoflash kelvoflash-cli camsim; do
    page="$build/packaging/man/$p.1.gz"
    [ -x "$bin/$p" ] || continue
    words="$("$p" --help | awk '/^  [^ ]/ {print $1}' | tr ',' '\n')"
    if [ "$p" = kelvoflash-cli ]; then
        for s in $("$p" --help | awk '/^Subcommands:/ {s = 1; next} s && /^  / {print $1}'); do
            words="$words $("$p" "$s" --help | awk '/^  [^ ]/ {print $1}' | tr ',' '\n')"
        done
    fi
    text="$(zcat "$page")"
    missing=""
    for w in $words; do
        [[ "$text" == *"${w//-/\\-}"* ]] || missing="$missing $w"
    done
    expect 0 "" "" test -z "$missing" -a "${text:0:4}" = ".TH "
    [ -z "$missing" ] || echo "  $p.1 lacks:$missing"
done

# The completion offers the subcommands, a subcommand's options and the values of --interface.
complete() { :; }
source "$source_dir/packaging/kelvoflash-cli.bash-completion"
completes() {  # completes "WORDS" EXPECTED...: each expected word is offered
    COMP_WORDS=($1)
    [[ "$1" == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _kelvoflash_cli
    shift
    for want in "$@"; do
        [[ " ${COMPREPLY[*]} " == *" $want "* ]] ||
            { echo "no $want in: ${COMPREPLY[*]}"; return 1; }
    done
}
expect 0 "" "" completes "kelvoflash-cli " info program inspect backup pack verify --version
expect 0 "" "" completes "kelvoflash-cli program --d" --devices --dry-run
expect 0 "" "" completes "kelvoflash-cli info --interface " com camlink
expect 0 "" "" completes "kelvoflash-cli backup --devices main-up,e" main-up,eeprom

# One camsim per state folder and per link: a second is refused with 3 and the holder's id; the
# lock goes with the holder, and a lock left by a killed camsim does not block the next one.
state="$scratch/state"
link="$scratch/camera0"
camsim --state "$state" --link "$link" --ignore-stdin >"$scratch/first" 2>&1 </dev/null &
holder=$!
pids+=("$holder")
for _ in $(seq 50); do [ -s "$scratch/first" ] && break; sleep 0.1; done
expect 3 "" "camsim: the state folder $state is in use by another camsim (process $holder); \
lock file $state/camsim.lock" camsim --state "$state" --ignore-stdin
expect 3 "" "camsim: the link $link is in use by another camsim (process $holder); lock file \
$link.lock" camsim --link "$link" --ignore-stdin
expect 0 "" "" test -L "$link"
kill -TERM "$holder"
wait "$holder"
expect 0 "" "" test ! -e "$state/camsim.lock" -a ! -e "$link.lock" -a ! -e "$link"
camsim --state "$state" --ignore-stdin >/dev/null 2>&1 </dev/null &
killed=$!
sleep 0.3
kill -KILL "$killed"
wait "$killed" 2>/dev/null
expect 0 "" "" test -e "$state/camsim.lock"
expect 0 "" "" sh -c \
    "camsim --state '$state' --link '$link' </dev/null | head -1 | grep -q '^/dev/pts/'"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
