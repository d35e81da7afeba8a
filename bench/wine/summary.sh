#!/usr/bin/env bash
# The figures of a bench/wine/boot_cost.sh run as Markdown.
# usage: summary.sh OUT_DIR STARTS FIRST_BOOTS
set -u
out=${1:?usage: summary.sh OUT_DIR STARTS FIRST_BOOTS}
starts=${2:?}
firsts=${3:?}

# stats FIELD LABEL FILE: "median | min–max | p25–p75 | n" of the field's
# values on the lines starting with LABEL.
stats() {
  awk -v label="$2" -v field="$1" '
    BEGIN { n = 0 }
    $1 == label { for (i = 2; i < NF; i++) if ($i == field) {
                    # a peak of 0: the process ended before it could be read
                    if (field != "peak_kb" || $(i + 1) > 0) v[n++] = $(i + 1) + 0
                    break } }
    END {
      if (n == 0) { print "– | – | – | 0"; exit }
      for (i = 0; i < n; i++) for (j = i + 1; j < n; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
      m = (n % 2) ? v[(n - 1) / 2] : (v[n / 2 - 1] + v[n / 2]) / 2
      printf "%.0f | %.0f–%.0f | %.0f–%.0f | %d\n", m, v[0], v[n - 1], v[int((n - 1) / 4 + 0.5)], v[int(3 * (n - 1) / 4 + 0.5)], n
    }' "$3"
}
median() { stats "$@" | cut -d'|' -f1 | tr -d ' '; }

steady=$out/steady.txt
first=$out/first.txt
echo "### Start and stop through the service control manager (ms from the StartService call)"
echo
echo "$starts starts each, VORN and the three bare services taking turns in one session; medians, range,"
echo "interquartile range. \"running\": the first state seen RUNNING or later (the bare service passes"
echo "RUNNING between two polls; it then counts when seen stopped)."
echo
echo "| service | to RUNNING: median | range | p25–p75 | n | to STOPPED: median | range | p25–p75 | n |"
echo "|---|---|---|---|---|---|---|---|---|"
for label in vorn bare bare-user32 bare-com; do
  name=$label
  case $label in
    vorn) name="VORN, steady boot" ;;
    bare) name="bare service" ;;
    bare-user32) name="bare service + user32.dll" ;;
    bare-com) name="bare service + COM (CoInitialize, CoInitializeSecurity)" ;;
  esac
  echo "| $name | $(stats running_ms "$label" "$steady") | $(stats stopped_ms "$label" "$steady") |"
done
echo "| VORN, first boot (fresh prefix each) | $(stats running_ms first "$first") | $(stats stopped_ms first "$first") |"
echo
if grep -q -E ' (error|query-error|timeout)( |$)' "$steady" "$first"; then
  echo "Starts that failed (Win32 error of StartService or of the status query; not in the figures):"
  echo
  grep -h -E ' (error|query-error|timeout)( |$)' "$steady" "$first" | sed 's/^/- /'
  echo
fi
vr=$(median running_ms vorn "$steady"); br=$(median running_ms bare "$steady")
vs=$(median stopped_ms vorn "$steady"); bs=$(median stopped_ms bare "$steady")
cr=$(median running_ms bare-com "$steady"); cs=$(median stopped_ms bare-com "$steady")
# The start sequence needs COM before RUNNING: the bare service with COM is
# what VORN is held to.
awk -v vr="$vr" -v br="$br" -v vs="$vs" -v bs="$bs" -v cr="$cr" -v cs="$cs" 'BEGIN {
  printf "Ratio of the medians, VORN / bare service + COM: to RUNNING **%.2f** (goal at most 1.05), ", vr / cr
  printf "to STOPPED **%.2f** (goal at most 1.3). VORN / bare service: to RUNNING %.2f, to STOPPED %.2f, ", vs / cs, vr / br, vs / bs
  printf "difference %.0f ms.\n", vs - bs }'
echo
echo "### Peak memory (peak working set of the service process, KiB)"
echo
echo "| process | median | range | p25–p75 | n |"
echo "|---|---|---|---|---|"
echo "| VORN, steady boot | $(stats peak_kb vorn "$steady") |"
echo "| VORN, first boot | $(stats peak_kb first "$first") |"
echo "| bare service, held RUNNING 200 ms | $(stats peak_kb bare-hold "$steady") |"
echo "| bare service + user32.dll (starts where it could be read) | $(stats peak_kb bare-user32 "$steady") |"
echo "| bare service + COM (starts where it could be read) | $(stats peak_kb bare-com "$steady") |"
echo
echo "### First boot: where the time goes"
echo
echo "From Wine's +timestamp trace of the service (ms ticks) and the StartService tick; medians over"
echo "the $firsts first boots, each interval ending with the line named."
echo
# One line per first boot: the interval lengths, tab-separated.
for trace in "$out"/first-trace.*.log; do
  [ -e "$trace" ] || continue
  n=${trace##*first-trace.}; n=${n%.log}
  line=$(sed -n "${n}p" "$first")
  tick0=$(awk '{for (i = 1; i < NF; i++) if ($i == "tick0") print $(i + 1)}' <<<"$line")
  stop=$(awk '{for (i = 1; i < NF; i++) if ($i == "stopped_ms") print $(i + 1)}' <<<"$line")
  [ -n "$tick0" ] && [ -n "$stop" ] || continue
  awk -v t0="$tick0" -v stop="$stop" '
    function at(pattern,   i) { for (i = 0; i < n; i++) if (index(text[i], pattern)) return time[i]; return -1 }
    BEGIN { n = 0 }
    { split($0, a, ":"); time[n] = a[1] * 1000; text[n++] = $0 }
    END {
      p[0] = t0
      p[1] = at("RegisterEventSourceA")
      p[2] = at("The computer name was changed")
      p[3] = at("UPnP successfully registered")
      p[4] = at("InitiateSystemShutdownExA")
      p[5] = at("Setting OlmNetId")
      p[6] = at("VORN completed successfully")
      p[7] = t0 + stop
      for (i = 1; i <= 7; i++) if (p[i] < 0) exit
      for (i = 1; i <= 7; i++) printf "%s%.0f", (i > 1 ? "\t" : ""), p[i] - p[i - 1]
      printf "\n"
    }' "$trace"
done >"$out/first-intervals.tsv"
runs=$(wc -l <"$out/first-intervals.tsv")
echo "| interval (ends with) | what runs in it | median ms | share |"
echo "|---|---|---|---|"
awk -F'\t' '
  BEGIN {
    split("the service process\x27s first trace line (RegisterEventSourceA)|\"The computer name was changed ...\"|\"UPnP successfully registered\"|InitiateSystemShutdownExA|\"Setting OlmNetId = ...\"|\"VORN completed successfully\"|SERVICE_STOPPED seen", name, "|")
    split("process creation, runtime and DLL start|COM, RUNNING report, DST record, write-filter gate, image information, computer name task|UPnP task: unregister, register, the registrar tool (runs 2.0 s on this device)|restart scheduling|display text update of DefaultConfig.xml, route net id|summary event|end of the job, COM released, STOPPED reported", what, "|")
  }
  { for (i = 1; i <= NF; i++) v[i, NR] = $i; rows = NR; cols = NF }
  END {
    for (i = 1; i <= cols; i++) {
      for (r = 1; r <= rows; r++) s[r] = v[i, r]
      for (a = 1; a <= rows; a++) for (b = a + 1; b <= rows; b++) if (s[b] < s[a]) { t = s[a]; s[a] = s[b]; s[b] = t }
      m[i] = (rows % 2) ? s[(rows + 1) / 2] : (s[rows / 2] + s[rows / 2 + 1]) / 2
      total += m[i]
    }
    for (i = 1; i <= cols; i++) printf "| %s | %s | %.0f | %.0f %% |\n", name[i], what[i], m[i], 100 * m[i] / total
    printf "| total (sum of the medians) | | %.0f | |\n", total
  }' "$out/first-intervals.tsv"
echo
echo "($runs first boots with a complete trace.)"
echo
echo "### What a steady boot writes"
echo
echo "HKLM exported with regedit and every file under C:\\ (sha1) before and after one steady boot of"
echo "VORN, and likewise around one start of the bare service:"
echo
echo '```'
cat "$out/steady-writes.diff"
echo '```'
