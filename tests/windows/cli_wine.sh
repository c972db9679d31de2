#!/usr/bin/env bash
# cli_wine.sh CASE WINE CLI.exe MAKE-SAMPLE-UPDATE [CAMSIM LINUX-CLI]: kelvoflash-cli.exe under Wine.
# files: on files alone, with names outside ASCII: the UTF-8 code page of the program's manifest
#   has to bring them through the command line and the A functions intact (Wine's own code page
#   here is 1252, under which the name's UTF-8 bytes would name another file).
# signed: keys and signatures both ways with minisign: a key made and a file signed by the
#   program holds for minisign -V; a file minisign signed shows its signer, and once changed is
#   refused (status 1) before any camera is looked for.
# recorded: a recording made by the program under Wine (info over Camera Link) is played by camsim
#   on Linux to the Linux kelvoflash-cli, which must say the same and leave the replay at its end.
# scripts: names in Greek, Japanese and with an umlaut, under Wine's ANSI code page (1252 here,
#   which spells none of the Greek or Japanese letters): pack device files from such a folder
#   into such a file, open it, and program it over Camera Link. Only UTF-16 at the Win32 boundary
#   brings these names through.
# camlink: the update over Camera Link: the program loads tessiport.dll beside it, which binds
#   clsersim.dll, which reaches camsim over TCP. Afterwards the Linux kelvoflash-cli compares
#   camsim's flash with the update file over camsim's pty.
# width: a frame grabber library of the other width ($OTHER_WIDTH_GRABBER, clsersim.dll of the
#   other build) beside the program and its tessiport.dll: the refusal names it and the program
#   to use; with a library of the program's own width beside it, the refusal stays as it was.
# com: the COM-port road: Wine's dosdevices\com7 is a link to camsim's pty, and the program opens
#   \\.\COM7 as on Windows: info, then program with the flash compared afterwards.
set -euo pipefail
test_case="$1" wine="$2" cli="$3" make_sample="$4" camsim="${5:-}" linux_cli="${6:-}"
here="$(dirname "$0")"
run="$wine"
source "$here/wine_test.sh"

files() {
    local update="$work/Prüfung µP Ä.qup" missing="$work/Fehlt ö.qup" report message status=0
    "$make_sample" "$update" --version 1.01 --variant 4 --small >/dev/null
    report="$("$wine" "$cli" inspect --json "$(windows "$update")")" ||
        fail "inspect exited with $?: $report"
    grep -q '"Main' <<<"$report" || fail "inspect does not list the devices: $report"
    grep -q 'Prüfung µP Ä.qup' <<<"$report" || fail "inspect names the file otherwise: $report"
    message="$("$wine" "$cli" inspect "$(windows "$missing")" 2>&1)" || status=$?
    [ "$status" -eq 1 ] || fail "inspect of a missing file exited with $status: $message"
    grep -q 'Fehlt ö.qup' <<<"$message" || fail "the missing file is named otherwise: $message"
    echo "inspect under Wine: UTF-8 names intact, exit statuses 0 and 1"
}

# The ANSI code page Wine gives its programs; 65001 would be UTF-8.
ansi_code_page() {
    "$wine" reg query 'HKLM\System\CurrentControlSet\Control\Nls\CodePage' /v ACP |
        tr -d '\r' | awk '$1 == "ACP" { print $NF }'
}

scripts() {
    local acp folder="$work/Δοκιμή テスト Größe" message status=0 out
    acp="$(ansi_code_page)"
    [ -n "$acp" ] && [ "$acp" != 65001 ] || fail "the ANSI code page is '$acp', not one of 8 bits"
    local update="$folder/Prüfung αβγ ファーム.qup" eeprom="$folder/Ωμέγα_004_V01_02.bin"
    local pll="$folder/プログラム_004_V01_02.jed"
    mkdir -p "$folder"
    printf 'eeeeeeeeeeeeeeeee' >"$eeprom"
    printf 'L0000 1\n' >"$pll"

    out="$("$wine" "$cli" pack "$(windows "$update")" --eeprom "$(windows "$eeprom")" \
           --pll "$(windows "$pll")" 2>&1)" || fail "pack exited with $?: $out"
    grep -qF 'Creating qel.update file Z:' <<<"$out" && grep -qF 'Prüfung αβγ ファーム.qup done' <<<"$out" ||
        fail "pack: $out"
    [ -f "$update" ] || fail "pack wrote no file named Prüfung αβγ ファーム.qup: $(ls "$folder")"
    out="$("$wine" "$cli" inspect "$(windows "$update")" 2>&1)" || fail "inspect exited with $?: $out"
    grep -q 'device 2 (EEPROM), dataLength 17,' <<<"$out" && grep -q 'Verdict: valid' <<<"$out" ||
        fail "inspect: $out"
    message="$("$wine" "$cli" inspect "$(windows "$folder/Λείπει.qup")" 2>&1)" || status=$?
    [ "$status" -eq 1 ] || fail "inspect of a missing file exited with $status: $message"
    grep -qF "Verdict: refused: Can't open file $(windows "$folder/Λείπει.qup"), error = 2" \
        <<<"$(tr -d '\r' <<<"$message")" || fail "the missing file: $message"

    local camera=(--boot-time 300 --erase-time 10 --cl-baud 19200)
    for row in 0 1 2 3 4; do camera+=(--firmware "$row:4:1.00"); done
    export CAMSIM_STATE="$work/state"
    mkdir -p "$CAMSIM_STATE"
    # Programmed: an update file of real images (the device files above carry no version).
    local firmware="$folder/ファームウェア Ä.qup"
    "$make_sample" "$firmware" --version 1.01 --variant 4 --small --devices 0 >/dev/null
    out="$("$here/with_camsim.sh" "$camsim" "${camera[@]}" -- "$wine" "$cli" program --yes \
           "$(windows "$firmware")" --interface camlink --grabber clsersim --port 0 2>&1)" ||
        fail "program exited with $?: $out"
    grep -q 'Main µP: programmed and verified, the camera reports 004 V01.01' <<<"$out" ||
        fail "program: $out"
    out="$("$here/with_camsim.sh" "$camsim" --boot-time 300 -- \
           bash -c '"$1" verify "$2" --port "$CAMSIM_PTY" 2>&1' _ "$linux_cli" "$firmware")" ||
        fail "the flash differs from the update file: $out"
    echo "code page $acp: pack, inspect and program with Greek, Japanese and umlaut names"
}

width() {
    local other="${OTHER_WIDTH_GRABBER:?clsersim.dll of the other width}" bin="$work/bin" out
    local status=0 self="${PROGRAM_WIDTH:?64-bit or 32-bit}" found use
    found=32-bit use='32-bit kelvoflash (start menu "kelvoflash (32-bit frame grabbers)", folder 32-bit)'
    [ "$self" = 64-bit ] ||
        found=64-bit use='64-bit kelvoflash (start menu "kelvoflash", the installation folder)'
    mkdir -p "$bin"
    cp "$cli" "$(dirname "$cli")/tessiport.dll" "$bin/"
    cp "$other" "$bin/clsersim.dll"
    local connect=(info --interface camlink --grabber clsersim --port 0)
    out="$("$wine" "$bin/kelvoflash-cli.exe" "${connect[@]}" 2>&1 >/dev/null)" || status=$?
    [ "$status" -eq 1 ] || fail "info exited with $status: $out"
    expect_lines "only the other width" "Cannot connect camera;Change parameters and try again;This $self program cannot load the frame grabber library: only $found ones were found (clsersim.dll).;Start the $use instead." "$out"
    # A library of the program's own width is there too: no other width to blame.
    cp "$(dirname "$cli")/clsersim_minimal.dll" "$bin/clserown.dll"
    status=0
    out="$("$wine" "$bin/kelvoflash-cli.exe" "${connect[@]}" 2>&1 >/dev/null)" || status=$?
    [ "$status" -eq 1 ] || fail "info with a library of its own width exited with $status: $out"
    expect_lines "one of its own width too" "Cannot connect camera;Change parameters and try again" "$out"
    ((failed == 0)) || exit 1
    echo "$self kelvoflash-cli.exe names the libraries of the other width and the program to use"
}

# com7 in Wine's dosdevices is a link to camsim's pty for as long as the command runs.
with_com7() {
    local link="$WINEPREFIX/dosdevices/com7"
    ln -sfn "$CAMSIM_PTY" "$link"
    local status=0
    "$@" || status=$?
    rm -f "$link"
    return "$status"
}

com() {
    "$make_sample" "$work/new.qup" --version 1.01 --variant 4 --small --devices 0,2 >/dev/null
    local camera=(--boot-time 300 --erase-time 10) out
    for row in 0 1 2 3 4; do camera+=(--firmware "$row:4:1.00"); done
    export CAMSIM_STATE="$work/state" WINEPREFIX="${WINEPREFIX:?the Wine prefix of the build}"
    mkdir -p "$CAMSIM_STATE"
    export -f with_com7
    out="$("$here/with_camsim.sh" "$camsim" "${camera[@]}" -- \
           bash -c 'with_com7 "$@"' _ "$wine" "$cli" info --port 6 2>&1)" ||
        fail "info over COM7 exited with $?: $out"
    grep -q 'Main FPGA  004 V01.00' <<<"$out" || fail "info over COM7: $out"
    out="$("$here/with_camsim.sh" "$camsim" "${camera[@]}" -- \
           bash -c 'with_com7 "$@"' _ "$wine" "$cli" program --yes "$(windows "$work/new.qup")" \
           --port 6 2>&1)" || fail "program over COM7 exited with $?: $out"
    grep -q 'Main µP: programmed and verified, the camera reports 004 V01.01' <<<"$out" ||
        fail "program over COM7: $out"
    out="$("$here/with_camsim.sh" "$camsim" --boot-time 300 -- \
           bash -c '"$1" verify "$2" --port "$CAMSIM_PTY" 2>&1' _ "$linux_cli" "$work/new.qup")" ||
        fail "the flash differs from the update file: $out"
    echo "info and program over COM7 (a link to camsim's pty) under Wine; the flash holds the file"
}

camlink() {
    "$make_sample" "$work/new.qup" --version 1.01 --variant 4 --small >/dev/null
    local camera=(--boot-time 300 --erase-time 10 --cl-baud 19200) info program verify
    for row in 0 1 2 3 4; do camera+=(--firmware "$row:4:1.00"); done
    local camlink=(--interface camlink --grabber clsersim --port 0)
    export CAMSIM_STATE="$work/state"
    mkdir -p "$CAMSIM_STATE"
    info="$("$here/with_camsim.sh" "$camsim" "${camera[@]}" -- "$wine" "$cli" info "${camlink[@]}")" ||
        fail "info exited with $?: $info"
    grep -q 'Main FPGA  004 V01.00' <<<"$info" || fail "info: $info"
    program="$("$here/with_camsim.sh" "$camsim" "${camera[@]}" -- \
               "$wine" "$cli" program --yes "$(windows "$work/new.qup")" "${camlink[@]}")" ||
        fail "program exited with $?: $program"
    grep -q 'Main µP: programmed and verified, the camera reports 004 V01.01' <<<"$program" ||
        fail "program: $program"
    # The flash as camsim kept it, compared by the Linux programmer over the pty.
    verify="$("$here/with_camsim.sh" "$camsim" --boot-time 300 -- \
              bash -c '"$1" verify "$2" --port "$CAMSIM_PTY" 2>&1' _ "$linux_cli" "$work/new.qup")" ||
        fail "the flash differs from the update file: $verify"
    echo "info and program over Camera Link under Wine; the flash holds the update file"
}

recorded() {
    local camera=(--boot-time 300 --cl-baud 19200) camlink=(--interface camlink --grabber clsersim --port 0)
    for row in 0 1 4; do camera+=(--firmware "$row:4:1.00"); done
    local recording="$work/wine session.jsonl" original replayed said status=0
    original="$("$here/with_camsim.sh" "$camsim" "${camera[@]}" -- \
                "$wine" "$cli" info "${camlink[@]}" --record "$(windows "$recording")")" ||
        fail "info exited with $?: $original"
    original="${original//$'\r'/}"   # the console's line ends
    grep -q '"program":"kelvoflash-cli"' "$recording" || fail "no recording header: $(head -c 300 "$recording")"
    # Played back on Linux: camsim answers as the camera under Wine did.
    coproc REPLAY { exec "$camsim" --camlink-port 0 --replay "$recording" --replay-fast 2>"$work/replay.err"; }
    read -r _ <&"${REPLAY[0]}"                 # the pty
    read -r _ address <&"${REPLAY[0]}"         # "camlink 127.0.0.1:PORT"
    replayed="$(CLSERSIM_PORT0="$address" "$linux_cli" info "${camlink[@]}")" ||
        fail "info against the replay exited with $?: $replayed"
    exec {REPLAY[1]}>&-
    wait "$REPLAY_PID" || status=$?
    said="$(cat "$work/replay.err")"
    [ "$replayed" = "$original" ] || fail "the replay says otherwise: $replayed"$'\n'"under Wine: $original"
    [ "$status" -eq 0 ] || fail "camsim's replay ended with $status: $said"
    grep -q 'replay ran to its end' <<<"$said" || fail "camsim: $said"
    echo "a recording made under Wine replays on Linux to the same camera information"
}

signed() {
    local out status=0
    command -v minisign >/dev/null || fail "minisign is missing (scripts/setup.sh installs it)"
    "$make_sample" "$work/new.qup" --version 1.01 --variant 4 --small >/dev/null
    cp "$work/new.qup" "$work/other.qup"
    (cd "$work" && "$wine" "$cli" keygen tech --no-passphrase >/dev/null) || fail "keygen exited with $?"
    "$wine" "$cli" sign "$(windows "$work/new.qup")" --key "$(windows "$work/tech.key")" >/dev/null ||
        fail "sign exited with $?"
    minisign -V -p "$work/tech.pub" -m "$work/new.qup" >/dev/null || fail "minisign -V refused our signature"

    mkdir -p "$work/site/trusted-keys"
    minisign -G -W -p "$work/site/trusted-keys/maker.pub" -s "$work/maker.key" >/dev/null
    minisign -S -s "$work/maker.key" -m "$work/other.qup" -t 'release 1.01' >/dev/null
    export KELVOFLASH_SYSTEM_CONFIG_DIR="$(windows "$work/site")"
    out="$("$wine" "$cli" inspect "$(windows "$work/other.qup")" 2>&1)" || fail "inspect exited with $?: $out"
    grep -q 'Signature: Signed by maker (key [0-9A-F]\{16\}): release 1.01' <<<"$out" ||
        fail "inspect does not name the signer: $out"
    # A key file everybody may change (Wine shows the mode as the file's access list) is not trusted.
    chmod 666 "$work/site/trusted-keys/maker.pub"
    out="$("$wine" "$cli" inspect "$(windows "$work/other.qup")" 2>&1)" || status=$?
    [ "$status" -eq 1 ] || fail "inspect with a key file others may change exited with $status: $out"
    grep -q 'maker.pub: other users may change it.' <<<"$out" || fail "the key file is not named: $out"
    chmod 644 "$work/site/trusted-keys/maker.pub"
    status=0
    printf 'x' >>"$work/other.qup"
    out="$("$wine" "$cli" program --yes "$(windows "$work/other.qup")" --port 1 2>&1)" || status=$?
    [ "$status" -eq 1 ] || fail "program of a changed file exited with $status: $out"
    grep -q 'other.qup was changed after it was signed.' <<<"$out" || fail "program: $out"
    echo "keygen and sign under Wine hold for minisign; minisign's signature shows its signer; a changed file is refused"
}

"$test_case"
