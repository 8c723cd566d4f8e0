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

# The same, summed by what brings each mapping in (from the libraries' own links, `ldd`): GIO for
# the desktop's settings, PulseAudio for her sounds, Xft for her text, Xlib, the C and C++ runtimes.
printf '\n| loaded for | resident (Rss) |\n|---|---|\n'
printf '%s\n' "$smaps" | awk '
  /^[0-9a-f]+-[0-9a-f]+ / {
    name = ""
    for (i = 6; i <= NF; ++i) name = name (i > 6 ? " " : "") $i
    n = split(name, parts, "/"); base = parts[n]
    if (name == "[heap]") group = "the heap (malloc)"
    else if (name == "") group = "anonymous mappings (thread stacks, large allocations)"
    else if (base ~ /^lib(gio|glib|gobject|gmodule|mount|blkid|selinux|pcre2|ffi)[-.]/) group = "GIO and what it links"
    else if (base ~ /^lib(pulse[a-z]*|sndfile|FLAC|vorbis[a-z]*|ogg|opus|mp3lame|mpg123|systemd|dbus-1|gcrypt|gpg-error|lz4|lzma|zstd|asyncns|cap|X11-xcb)[-.]/) group = "PulseAudio and what it links"
    else if (base ~ /^lib(Xft|fontconfig|freetype|png16|brotli|expat)/ || base ~ /\.(ttf|otf|cache-[0-9]+)$/) group = "Xft, fontconfig, FreeType and fonts"
    else if (base ~ /^lib(X11|xcb|Xext|Xrender|Xau|Xdmcp|bsd|md)[-.]/) group = "Xlib and its extensions"
    else if (base ~ /^(libstdc\+\+|libc|libm|libgcc_s|ld-linux)/) group = "C and C++ runtimes"
    else if (name ~ /^\//) group = base ~ /^zinna/ ? "the program itself" : "other files (" base ")"
    else group = "other (" name ")"
    next
  }
  /^Rss:/ { rss[group] += $2; total += $2 }
  END {
    for (g in rss) if (rss[g] >= 64) printf "| %s | %.2f MiB |\n", g, rss[g] / 1024; else small += rss[g]
    if (small) printf "| everything else | %.2f MiB |\n", small / 1024
    printf "| total | %.1f MiB |\n", total / 1024
  }' | awk -F'|' '/^\| total/ {t = $0; next} {print $3 "\t" $0} END {print "-1\t" t}' | sort -t$'\t' -k1,1 -rn | cut -f2
