#!/usr/bin/env bash
# zinna.exe must import only Windows' own DLLs: no MinGW runtime (libstdc++, libgcc, winpthread)
# beside it.
set -euo pipefail
objdump=$1
exe=$2
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|SHELL32|OLE32|OLEAUT32|COMCTL32|WINMM|msvcrt|api-ms-win-[a-z0-9-]+)\.dll$'
imports=$("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p')
echo "$imports"
[ -n "$imports" ]
bad=$(grep -Eiv "$allowed" <<<"$imports" || true)
if [ -n "$bad" ]; then
  echo "not Windows' own: $bad" >&2
  exit 1
fi
