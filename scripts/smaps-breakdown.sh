#!/usr/bin/env bash
# Where a running process's resident memory is, from /proc/PID/smaps: the heap, the stack,
# anonymous mappings (other allocator arenas, thread stacks, mmap'ed buffers) and each mapped file
# (the binary, each shared library, fonts, locale data), largest first, as a Markdown table.
#
#   scripts/smaps-breakdown.sh PID [SMAPS-COPY]
#
# With SMAPS-COPY the smaps text is also saved there, to read again later. The resident figures
# are the kernel's Rss of each mapping summed by name; Pss (shared pages divided among the
# processes that map them) is beside it. Names under 64 KiB resident share one row.
set -euo pipefail
pid=${1:?usage: smaps-breakdown.sh PID [SMAPS-COPY]}
smaps=$(cat "/proc/$pid/smaps")
[ -n "${2:-}" ] && printf '%s\n' "$smaps" >"$2"
printf '%s\n' "$smaps" | awk '
  # A mapping header: address range, permissions, offset, device, inode, then the name if any.
  /^[0-9a-f]+-[0-9a-f]+ / {
    name = ""
    for (i = 6; i <= NF; ++i) name = name (i > 6 ? " " : "") $i
    if (name == "") name = "(anonymous)"
    else if (name !~ /^\[/) { n = split(name, parts, "/"); name = parts[n] }
    next
  }
  /^Rss:/ { rss[name] += $2; total += $2 }
  /^Pss:/ { pss[name] += $2; totalPss += $2 }
  END {
    printf "| mapping | resident (Rss) | proportional (Pss) |\n|---|---|---|\n"
    fflush()
    cmd = "sort -t\"\t\" -k2,2nr"
    for (n in rss) if (rss[n] > 0) printf "%s\t%d\t%d\n", n, rss[n], pss[n] | cmd
    close(cmd)
    printf "| total | %.1f MiB | %.1f MiB |\n", total / 1024, totalPss / 1024
  }' | awk -F'\t' '
  # Mappings under 64 KiB resident go together in one row, before the total.
  NF == 3 && $2 < 64 { small++; smallRss += $2; smallPss += $3; next }
  NF == 3 { printf "| %s | %.2f MiB | %.2f MiB |\n", $1, $2 / 1024, $3 / 1024; next }
  /^\| total/ && small { printf "| %d others under 64 KiB each | %.2f MiB | %.2f MiB |\n", small, smallRss / 1024, smallPss / 1024 }
  { print }'
