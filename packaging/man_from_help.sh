#!/usr/bin/env bash
# Writes a program's man page from its own --help output (and, for a program with subcommands,
# from each subcommand's --help), so the page says exactly what the program says.
# usage: man_from_help.sh PROGRAM OUT.1.gz VERSION
set -euo pipefail
program="$1"
out="$2"
version="$3"
name="$(basename "$program")"

help="$("$program" --help)"
# The subcommands are the first words of the lines under "Subcommands:".
subcommands="$(awk '/^Subcommands:$/ {s = 1; next} s && /^  [^ ]/ {print $1} s && !/^  / {s = 0}' \
               <<<"$help")"

# roff from one help text. HEAD is "page" for the program itself, else the subcommand's name.
to_roff() {
    awk -v head="$1" -v name="$name" '
    function esc(t) {
        gsub(/\\/, "\\e", t)
        gsub(/-/, "\\-", t)
        if (t ~ /^[.\047]/) t = "\\&" t
        return t
    }
    # A list line: two blanks, the term, two or more blanks, the description (or none).
    function entry(line,   rest, gap) {
        rest = substr(line, 3)
        gap = match(rest, /  +/)
        print ".TP"
        if (gap) {
            print "\\fB" esc(substr(rest, 1, gap - 1)) "\\fR"
            print esc(substr(rest, gap + RLENGTH))
        } else {
            print "\\fB" esc(rest) "\\fR"
        }
    }
    BEGIN { state = "description"; first = 1; text = "" }
    # The description comes before the usage line; the page puts it after the synopsis.
    state == "description" && /^Usage: / {
        usage = substr($0, 8)
        if (head == "page") {
            print ".SH SYNOPSIS"
            print ".nf"
            print esc(usage)
            print ".fi"
            print ".SH DESCRIPTION"
            printf "%s", (text == "" ? esc(summary) "\n" : text)
        } else {
            printf "%s", text
            print ".PP"
            print "\\fB" esc(usage) "\\fR"
        }
        state = "lists"
        next
    }
    state == "description" && first {
        first = 0
        summary = $0
        sub(/^[^:]*: /, "", summary)
        if (head == "page") {
            print ".SH NAME"
            print esc(name) " \\- " esc(summary)
        } else {
            print ".SH \"" toupper(esc(name " " head)) "\""
            print esc(summary)
        }
        next
    }
    state == "description" && text == "" && $0 == "" { next }
    state == "description" { text = text ($0 == "" ? ".PP" : esc($0)) "\n"; next }
    state == "lists" && /^[A-Z][A-Za-z ]*:$/ {
        print (head == "page" ? ".SH " : ".SS ") toupper(substr($0, 1, length($0) - 1))
        next
    }
    state == "lists" && match($0, /^ +[^ ]/) && RLENGTH > 20 { sub(/^ +/, ""); print esc($0); next }
    state == "lists" && /^  [^ ]/ { entry($0); next }
    state == "lists" && /^$/ { next }
    state == "lists" {
        state = "notes"
        print (head == "page" ? ".SH NOTES" : ".SS NOTES")
        print ".nf"
    }
    state == "notes" { print esc($0) }
    END { if (state == "notes") print ".fi" }
    '
}

{
    printf '.TH %s 1 "" "kelvoflash %s" "User Commands"\n' \
        "$(tr '[:lower:]' '[:upper:]' <<<"$name")" "$version"
    to_roff page <<<"$help"
    for subcommand in $subcommands; do
        "$program" "$subcommand" --help | to_roff "$subcommand"
    done
    echo ".SH SEE ALSO"
    see=""
    for page in kelvoflash kelvoflash-cli camsim; do
        [ "$page" = "$name" ] || see="${see:+$see, }\\fB$page\\fR(1)"
    done
    echo "$see"
} | gzip -9n >"$out.tmp"
mv "$out.tmp" "$out"
