# Run by tests/wine/vorn-wine (VORN_WINE_HOOK) in place of VORN.EXE: in the
# runner's namespaces, without capabilities, in the seeded prefix of the
# device (WINEPREFIX), with the session's dialog answerer running. The
# runner gives it VORN_WINE_WORK (its work folder, with wine.log),
# IMAGE_PATH and SERVICE_NAME.
#
#   VORN_BENCH_BIN    folder with bare_service.exe and scm_timer.exe
#   VORN_BENCH_OUT    folder for the results (appended to)
#   VORN_BENCH_MODE   first: one timed first boot of VORN, its trace kept
#                     full:  that, then the writes of one steady boot and of
#                            one bare start (registry and files before and
#                            after), VORN_BENCH_STARTS starts each of VORN
#                            and of the bare services (alone, with user32,
#                            with COM) taking turns, and three of the bare
#                            service held RUNNING for its memory
work=$VORN_WINE_WORK
wine() { "$VORN_WINE" "$@"; }
winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
# The state of VORN's service ("RUNNING 0"); nothing when it is not installed.
service_state() { wine sc query "$SERVICE_NAME" 2>/dev/null | "$VORN_WINE_DEVICE" sc-state; }
bench_timer() { wine 'C:\vorntest\scm_timer.exe' "$@" 2>/dev/null | tr -d '\r'; }

# What the prefix holds: HKLM exported, every file under drive_c with its
# checksum (the session's own folder C:\vorntest left out).
bench_snapshot() {
  wine regedit /e "$(winpath "$1.reg")" HKEY_LOCAL_MACHINE >/dev/null 2>&1
  iconv -f UTF-16LE -t UTF-8 "$1.reg" 2>/dev/null | tr -d '\r' >"$1.reg.txt"
  (cd "$WINEPREFIX/drive_c" && find . -path ./vorntest -prune -o -type f -print0 |
     sort -z | xargs -0 sha1sum) >"$1.files"
}

# The difference of two snapshots, registry lines under their key.
bench_diff() {
  echo "## registry (HKLM)"
  diff "$1.reg.txt" "$2.reg.txt" | awk -v f="$2.reg.txt" '
    /^[0-9]/ { split($0, a, /[acd,]/); line = a[1] + 0
               cmd = "awk '\''NR <= " line " && /^\\[/ { k = $0 } END { print k }'\'' " f
               cmd | getline key; close(cmd); print "key " key; next }
    { print }'
  echo "## files under C:\\"
  diff "$1.files" "$2.files"
}

# The session's first program starts Wine's service control manager, whose
# error output the services inherit: the dialog answerer, started just before,
# must be first, or the trace of the service is lost.
sleep 3

# The example device comes without the service: installed as an image
# engineer does (-Service), the first start is then the device's first boot.
if ! service_state | grep -q .; then
  wine "$IMAGE_PATH" -Service >/dev/null 2>&1
  service_state | grep -q . || { echo "bench: -Service did not install $SERVICE_NAME" >&2; exit 70; }
fi
cp "$VORN_BENCH_BIN"/*.exe "$WINEPREFIX/drive_c/vorntest/"
wine sc create VornBare binPath= 'C:\vorntest\bare_service.exe' >/dev/null 2>&1
wine sc create VornBareUser32 binPath= 'C:\vorntest\bare_user32.exe' >/dev/null 2>&1
wine sc create VornBareCom binPath= 'C:\vorntest\bare_com.exe' >/dev/null 2>&1

lines=$(wc -l <"$work/wine.log")
bench_timer "$SERVICE_NAME" 1 | sed 's/^start 1/first/' >>"$VORN_BENCH_OUT/first.txt"
n=$(wc -l <"$VORN_BENCH_OUT/first.txt")
sleep 1  # the trace of the service's last lines reaches the session's log
tail -n +$((lines + 1)) "$work/wine.log" >"$VORN_BENCH_OUT/first-trace.$n.log"

if [ "$VORN_BENCH_MODE" = full ]; then
  # One steady boot to settle (a first boot's name is in effect at once
  # under Wine), then the one whose writes are compared, and a bare start
  # for what the service control manager writes by itself.
  bench_timer "$SERVICE_NAME" 1 >/dev/null
  bench_snapshot "$work/s0"
  bench_timer "$SERVICE_NAME" 1 >/dev/null
  bench_snapshot "$work/s1"
  bench_timer VornBare 1 >/dev/null
  bench_snapshot "$work/s2"
  { echo "# one steady boot of VORN"; bench_diff "$work/s0" "$work/s1"
    echo "# one start of the bare service"; bench_diff "$work/s1" "$work/s2"
  } >"$VORN_BENCH_OUT/steady-writes.diff"
  # VORN and the three bare services take turns, so that the load of the
  # machine at any moment falls on each of them alike.
  for ((i = 1; i <= ${VORN_BENCH_STARTS:-10}; i++)); do
    bench_timer "$SERVICE_NAME" 1 | sed "s/^start 1/vorn $i/" >>"$VORN_BENCH_OUT/steady.txt"
    bench_timer VornBare 1 | sed "s/^start 1/bare $i/" >>"$VORN_BENCH_OUT/steady.txt"
    bench_timer VornBareUser32 1 | sed "s/^start 1/bare-user32 $i/" >>"$VORN_BENCH_OUT/steady.txt"
    bench_timer VornBareCom 1 | sed "s/^start 1/bare-com $i/" >>"$VORN_BENCH_OUT/steady.txt"
  done
  bench_timer VornBare 3 hold | sed "s/^start/bare-hold/" >>"$VORN_BENCH_OUT/steady.txt"
  sleep 1
  cp "$work/wine.log" "$VORN_BENCH_OUT/session-full.log"
fi
