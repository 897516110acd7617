#!/usr/bin/env bash
# faults.sh PLAINTROVE_STRIP: fails one system call of the program at a time with strace, or sends
# a signal as it makes it. A failed run must say which file and why, exit with 1 and leave every
# file as it was, with no temporary file behind; an interrupted call is repeated and a file system
# that cannot flush is no failure. SIGINT, SIGTERM and SIGHUP end the run the same way, with
# 128 + the signal's number; after SIGKILL at any step each output is the old or the whole new.
set -uo pipefail
command -v strace >/dev/null || { echo "strace is missing: skipped"; exit 77; }
strace -f -o /dev/null true 2>/dev/null || { echo "ptrace is not permitted: skipped"; exit 77; }
strip=$(realpath "$1")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Three of the program's 256 KiB blocks, so that reads and writes repeat.
awk 'BEGIN { for (i = 1; i <= 25000; i++) print "<p>line " i " of a long page</p>" }' \
    >"$scratch/page.html"
failures=0

# Every entry under a directory: name, type, size and checksum.
snapshot() {
    (cd "$1" && find . -mindepth 1 | sort | while read -r entry; do
        echo "$entry $(stat -c '%F %s' "$entry") $([ -f "$entry" ] && md5sum <"$entry")"
    done)
}

# run TEMPORARY SYSCALL ERRNO WHEN FILTER CHANGED STATUS MESSAGE ARGUMENTS...
run() {
    local temporary=$1 call=$2 errno=$3 when=$4 filter=$5 changed=$6 status=$7 message=$8
    shift 8
    local dir=$scratch/run twin=$scratch/twin
    rm -rf "$dir" "$twin" && mkdir -p "$dir/sub"
    cp "$scratch/page.html" "$dir" && echo '<p>another page</p>' >"$dir/other.html"
    echo 'old output' >"$dir/old.txt" && cp -a "$dir" "$twin"
    # An unfaulted run in a twin directory gives the expected output, and counts the openat
    # calls up to the one that makes the unnamed temporary file.
    (cd "$twin" && strace -fqq -o "$scratch/openat" -e trace=openat "$strip" "$@" 2>/dev/null)
    local before expected error found problems=() injected=error=$errno unnamed
    unnamed=$(awk '/openat\(/ { n++ } /O_TMPFILE/ { print n; exit }' "$scratch/openat")
    [[ $errno != SIG* ]] || injected=signal=${errno#SIG}
    [[ $errno != retval=* ]] || injected=$errno
    local faults=(-e "inject=$call:$injected:when=${when/unnamed/$unnamed}")
    [ "$filter" = - ] || faults+=(-P "$filter")
    [ "$temporary" = unnamed ] || faults+=(-e "inject=openat:error=EOPNOTSUPP:when=$unnamed")
    before=$(snapshot "$dir")
    expected=$({ grep -v -E "^\./($changed) " <<<"$before"
        snapshot "$twin" | grep -E "^\./($changed) "; } | sort)
    # A shell that runs this in the background would pass SIGINT on ignored.
    error=$(cd "$dir" && env --default-signal=INT timeout -s KILL 30 strace -fqq -o "$scratch/log" \
        "${faults[@]}" "$strip" "$@" 2>&1 >/dev/null)
    found=$?
    error=$(grep -v '^strace: Requested path' <<<"$error")
    [ -z "$message" ] || message="plaintrove-strip: $message"
    [ "$found" = "$status" ] || problems+=("exit status $found, expected $status")
    [ "$error" = "$message" ] || problems+=("stderr: $error" "expected: $message")
    grep -q -E "^[0-9]+ +((<\.\.\. )?$call[( ].*INJECTED|--- $errno )" "$scratch/log" ||
        problems+=("no $call call failed")
    found=$(diff <(echo "$expected") <(snapshot "$dir") | sed 's/^/  /') ||
        problems+=("files differ (< expected, > found):" "$found")
    ((${#problems[@]} == 0)) && return
    failures=$((failures + 1))
    echo "FAILED: $call $errno when=$when on ${filter/#-/any path}, $temporary temporary: $*"
    printf '  %s\n' "${problems[@]}"
}

# row SYSCALL ERRNO WHEN FILTER CHANGED NAMED STATUS MESSAGE ARGUMENTS...
#   WHEN     the call's number; `unnamed` is the open of the unnamed temporary file
#   FILTER   strace -P path, only calls on it count (. is where temporary files go); - for all
#   CHANGED  entries that end as an unfaulted run leaves them (a regular expression); - for none
#   NAMED    y: also with O_TMPFILE refused, so that the output falls back to a named file
row() {
    run unnamed "$1" "$2" "$3" "$4" "$5" "${@:7}"
    [ "$6" = n ] || run named "$1" "$2" "$3" "$4" "$5" "${@:7}"
}

row openat EACCES 1 page.html - n 1 'page.html: Permission denied' page.html old.txt
row read EIO 2 page.html - n 1 'page.html: Input/output error' page.html old.txt
row openat EROFS 1 . - n 1 'old.txt: Read-only file system' page.html old.txt
row write ENOSPC 2 - - y 1 'old.txt: No space left on device' page.html old.txt
row write EIO 1 - - y 1 'new.txt: Input/output error' page.html new.txt
row fdatasync EIO 1 - - y 1 'old.txt: Input/output error' page.html old.txt
# No unnamed files, and every name refused (vfat refuses some characters): 100 tries, then why.
row openat EINVAL unnamed+ - - n 1 'old.txt: Invalid argument' page.html old.txt
row linkat EIO 1 - - n 1 'new.txt: Input/output error' page.html new.txt
# Linked to a temporary name first, as a link cannot replace the old output.
row linkat EIO 2 - - n 1 'old.txt: Input/output error' page.html old.txt
# A temporary name someone took in between: another one.
row linkat EEXIST 2 - old.txt n 0 '' page.html old.txt
row rename EXDEV 1 - - y 1 'old.txt: Invalid cross-device link' page.html old.txt
row rename EACCES 1 - - y 1 'old.txt: Permission denied' page.html old.txt
row read EINTR 2 page.html new.txt n 0 '' page.html new.txt
row write EINTR 2 - new.txt y 0 '' page.html new.txt
row fdatasync EINVAL 1 - old.txt y 0 '' page.html old.txt
# A link's target as long as the buffer may have been cut short: it would name another file.
row readlink retval=4096 1 old.txt - n 1 'old.txt: File name too long' page.html old.txt
row write ENOSPC 2 - sub/other.txt n 1 'sub/page.txt: No space left on device' \
    -d sub page.html other.html
row sync_file_range EIO 1 - sub/other.txt n 1 'sub/page.txt: Input/output error' \
    -d sub page.html other.html
row sync_file_range EINVAL 1 - 'sub/page.txt|sub/other.txt' n 0 '' -d sub page.html other.html
interrupted='interrupted by SIG%s; no file was left half written'
# shellcheck disable=SC2059
{
    row write SIGINT 2 - - y 130 "$(printf "$interrupted" INT)" page.html old.txt
    row write SIGTERM 2 - - y 143 "$(printf "$interrupted" TERM)" page.html old.txt
    row write SIGHUP 2 - - n 129 "$(printf "$interrupted" HUP)" -d sub page.html other.html
}

# SIGKILL at every write, flush, link and rename of a run that replaces outputs: afterwards each
# output holds the old text or the whole new one, and nothing else is left behind, but for one
# step: killed between naming the new text and renaming it over the old, its temporary name,
# holding the whole new text, stays (no system call replaces a file by an unnamed one).
crash_at_every_step() {
    local dir=$scratch/crash start=$scratch/start old new mode call when status left
    rm -rf "$start" && mkdir -p "$start/sub" && cp "$scratch/page.html" "$start"
    echo '<p>another page</p>' >"$start/other.html" && echo 'old output' | tee "$start/old.txt" \
        "$start/sub/page.txt" >"$start/sub/other.txt"
    old=$(snapshot "$start")
    rm -rf "$dir" && cp -a "$start" "$dir"
    (cd "$dir" && "$strip" page.html old.txt && "$strip" -d sub page.html other.html)
    new=$(snapshot "$dir")
    for mode in "page.html old.txt" "-d sub page.html other.html"; do
        for call in write fdatasync syncfs sync_file_range linkat rename; do
            for ((when = 1; ; when++)); do
                rm -rf "$dir" && cp -a "$start" "$dir"
                # shellcheck disable=SC2086
                { (cd "$dir" && exec strace -fqq -o /dev/null \
                    -e "inject=$call:signal=KILL:when=$when" "$strip" $mode); } 2>/dev/null
                status=$?
                left=$(snapshot "$dir" | if [ $call = rename ]; then
                    sed -E 's/\.plaintrove-[[:alnum:]]{6} / /'; else cat; fi |
                    grep -v -x -F -f <(echo "$old"; echo "$new"))
                if [ -n "$left" ]; then
                    echo "FAILED: SIGKILL at $call $when of '$mode' left:" && sed 's/^/  /' <<<"$left"
                    return 1
                fi
                [ "$status" = 137 ] || break
            done
        done
    done
}
crash_at_every_step || failures=$((failures + 1))

# Blocked opening a pipe or reading one, alone or in a batch, a run still ends on SIGTERM; an output
# pipe waits for its reader.
blocked_on_a_pipe() {
    local dir=$scratch/pipe args pid tries status
    rm -rf "$dir" && mkdir -p "$dir" && mkfifo "$dir/waits.html" && echo '<p>x</p>' >"$dir/x.html"
    running() { [ "$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null)" = S ]; }
    # Signalled only once it waits on the pipe: a shell about to start it may hold signals back.
    until_waiting() {
        for ((tries = 0; tries < 50; tries++)); do
            cat /proc/"$1"/task/*/wchan 2>/dev/null | grep -q -E 'pipe|partner' && return
            sleep 0.1
        done
    }
    for args in "waits.html out.txt" "/dev/stdin out.txt" "-j 1 -d out /dev/stdin" \
        "x.html waits.html"; do
        # shellcheck disable=SC2086
        (cd "$dir" && exec "$strip" $args) < <(sleep 9) 2>/dev/null &
        pid=$!
        until_waiting "$pid"
        kill -TERM "$pid"
        for ((tries = 0; tries < 30 && $(running "$pid" && echo 1 || echo 0); tries++)); do
            sleep 0.1
        done
        if running "$pid"; then
            kill -KILL "$pid"
            echo "FAILED: '$args', blocked on a pipe, went on after SIGTERM"
            return 1
        fi
        wait "$pid" && status=0 || status=$?
        [ "$status" = 143 ] || { echo "FAILED: '$args' ended with $status after SIGTERM"; return 1; }
    done
    # An output pipe whose reader comes second: the reader gets the text.
    (cd "$dir" && exec "$strip" x.html waits.html) &
    pid=$!
    until_waiting "$pid"
    if [ "$(cat "$dir/waits.html")" != $'x\r' ] || ! wait "$pid"; then
        echo "FAILED: a pipe whose reader came second" && return 1
    fi
}
blocked_on_a_pipe || failures=$((failures + 1))

# Ctrl-C while a batch walks its folders ends the walk there, and no output folder is left behind.
interrupted_walk() {
    local dir=$scratch/walk status opened
    rm -rf "$dir" && mkdir -p "$dir"/site/{1..50} && cp "$scratch/page.html" "$dir/site/1"
    (cd "$dir" && env --default-signal=INT strace -fqq -o "$scratch/walk.log" \
        -e trace=openat,getdents64 -e inject=getdents64:signal=INT:when=1 \
        "$strip" -r -d out site 2>/dev/null)
    status=$?
    opened=$(grep -c 'openat(.*"site/[^"]' "$scratch/walk.log")
    if [ "$status" != 130 ] || [ "$opened" != 0 ] || [ -e "$dir/out" ]; then
        echo "FAILED: interrupted walk: status $status, $opened folders opened after the signal" \
            "$(ls "$dir")" && return 1
    fi
}
interrupted_walk || failures=$((failures + 1))

# A batch puts no output in its place before the output's data is on the disk: each link of a
# temporary file comes after a flush (its fdatasync, or a syncfs) that began after its last write.
flush_order() {
    local dir=$scratch/order i
    rm -rf "$dir" && mkdir -p "$dir/site"
    for i in $(seq 20); do cp "$scratch/page.html" "$dir/site/p$i.html"; done
    (cd "$dir" && strace -fqq -o "$scratch/order.log" -e trace=openat,write,fdatasync,syncfs,linkat \
        "$strip" -r -j 4 -d out site) || { echo "FAILED: the batch itself"; return 1; }
    awk 'function fd(call) { sub(/^[a-z]+\((AT_FDCWD, "\/proc\/self\/fd\/)?/, "", call); return call + 0 }
        function begun(call) {
            if (call ~ /^syncfs\(/) for (f in dirty) dirty[f] = 0
            if (call ~ /^fdatasync\(/) dirty[fd(call)] = 0
            if (call ~ /^linkat\(AT_FDCWD, "\/proc/) { placed++; if (dirty[fd(call)]) early++ }
        }
        function ended(call) {
            if (call ~ /O_TMPFILE.*= [0-9]+$/) dirty[substr(call, match(call, /[0-9]+$/)) + 0] = 1
            if (call ~ /^write\(/ && fd(call) in dirty) dirty[fd(call)] = 1
        }
        { call = $0; sub(/^[0-9]+ +/, "", call) }
        call ~ /<unfinished \.\.\.>$/ { sub(/ <unfinished \.\.\.>$/, "", call); begun(call); pending[$1] = call; next }
        call ~ /^<\.\.\. / { sub(/^<\.\.\. [a-z]+ resumed>/, "", call); ended(pending[$1] call); next }
        { begun(call); ended(call) }
        END { if (placed != 20 || early) { print "FAILED: " early + 0 " of " placed + 0 " outputs placed before their data was flushed"; exit 1 } }' \
        "$scratch/order.log"
}
flush_order || failures=$((failures + 1))

echo "$failures failed"
[ "$failures" -eq 0 ]
