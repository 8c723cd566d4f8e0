#!/usr/bin/env bash
# Every tool follows the same command-line conventions: --help (usage on standard output, exit 0),
# --version, and a usage mistake in one line on standard error with exit status 2. Run in a
# scratch folder, so a tool that took an option for a file name would leave it there.
# Arguments: VERSION CHARACTER_FILE TOOL...
set -u
version=$1 character=$2
shift 2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# expect STATUS STDOUT_PATTERN STDERR_LINES -- COMMAND...   (an empty pattern: nothing on standard output)
expect() {
    local status=$1 pattern=$2 errlines=$3
    shift 4
    "$@" >out.txt 2>err.txt
    local got=$?
    [ "$got" = "$status" ] || fail "$*: exit status $got, not $status"
    if [ -z "$pattern" ]; then
        [ ! -s out.txt ] || fail "$*: wrote to standard output: $(head -c 200 out.txt)"
    else
        grep -Eq "$pattern" out.txt || fail "$*: standard output does not match '$pattern': $(head -c 200 out.txt)"
    fi
    [ "$(wc -l <err.txt)" = "$errlines" ] || fail "$*: $(wc -l <err.txt) lines on standard error, not $errlines: $(cat err.txt)"
    rm -f out.txt err.txt
}

for tool in "$@"; do
    name=$(basename "$tool")
    expect 0 '^usage: ' 0 -- "$tool" --help
    expect 0 '^usage: ' 0 -- "$tool" a b c -h
    expect 0 "^$name $version\$" 0 -- "$tool" --version
    expect 2 '' 1 -- "$tool" --bogus
    expect 2 '' 1 -- "$tool" "$character" --bogus
    grep -q . <(ls -A) && fail "$name left files behind: $(ls -A)"
done
# A missing operand, and an option after the operand.
for tool in "$@"; do
    case $(basename "$tool") in
        acs-info)
            expect 2 '' 1 -- "$tool"
            expect 0 '"width":' 0 -- "$tool" --json "$character"
            expect 0 '"width":' 0 -- "$tool" "$character" --json ;;
        acs-sample | acs-bench | acs-render)
            expect 2 '' 1 -- "$tool" ;;
        zinna)  # takes no operand; Windows' /restore is a file name here
            expect 2 '' 1 -- "$tool" /restore ;;
        zinna-sim)
            expect 2 '' 1 -- "$tool" an-operand
            expect 0 '^seed 5$' 0 -- "$tool" --seconds 0 --simple-control --seed 5 ;;
    esac
done
exit $failed
