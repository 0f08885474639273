#!/usr/bin/env bash
# Checks what the shipped executable is made of: a 32-bit console program
# that needs nothing beyond Windows's own DLLs and carries exactly one
# resource, the manifest that asks to run as the invoker.
#
# Usage: inspect_release.sh installer.exe [objdump]
# The objdump must read PE files (i686-w64-mingw32-objdump, or a GNU
# objdump built for all targets).
set -euo pipefail

exe=$1
objdump=${2:-${OBJDUMP:-i686-w64-mingw32-objdump}}

headers=$("$objdump" -p "$exe")
sections=$("$objdump" -h "$exe")

# One line per fact, in a fixed order, so the whole can be compared.
describe() {
  echo "format: $(sed -n 's/.*file format //p' <<<"$headers")"
  echo "magic: $(awk '$1 == "Magic" {print $2, $3}' <<<"$headers")"
  echo "subsystem: $(awk '$1 == "Subsystem" {$1 = ""; print substr($0, 2)}' <<<"$headers")"
  echo "imports:"
  sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | LC_ALL=C sort
  echo "resources:"
  # The resource tree without its addresses: type, name, language, data.
  sed -n '/Resource Directory section:/,/Resources start at/p' <<<"$headers" |
    sed -n -e 's/, Value: .*//p' -e 's/Leaf: Addr: [^,]*, /Leaf: /p' |
    sed 's/^[0-9a-f]* //'
  echo "manifest:"
  manifest
}

# The bytes of the first resource, read from the file where its address
# falls in the .rsrc section, followed at once by "(end)" so that trailing
# bytes count too.
manifest() {
  local leaf address size image rva offset
  leaf=$(grep -m1 'Leaf: Addr:' <<<"$headers") || return 0
  address=$(sed 's/.*Addr: \(0x[0-9a-f]*\),.*/\1/' <<<"$leaf")
  size=$(sed 's/.*Size: \(0x[0-9a-f]*\),.*/\1/' <<<"$leaf")
  image=$(awk '$1 == "ImageBase" {print $2}' <<<"$headers")
  read -r rva offset < <(awk '$2 == ".rsrc" {print $4, $6}' <<<"$sections")
  offset=$((0x$offset + address - (0x$rva - 0x$image)))
  tail -c +$((offset + 1)) "$exe" | head -c $((size))
  echo "(end)"
}

expected=$(cat <<'TEXT'
format: pei-i386
magic: 010b (PE32)
subsystem: 00000003 (Windows CUI)
imports:
ADVAPI32.dll
KERNEL32.dll
msvcrt.dll
resources:
  Entry: ID: 0x000018
    Entry: ID: 0x000001
      Entry: ID: 0x000409
       Leaf: Size: 0x000172, Codepage: 0
manifest:
<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">
    <security>
      <requestedPrivileges>
        <requestedExecutionLevel level="asInvoker" uiAccess="false"/>
      </requestedPrivileges>
    </security>
  </trustInfo>
</assembly>
(end)
TEXT
)

actual=$(describe)
if [[ "$actual" != "$expected" ]]; then
  echo "$exe is not the expected release executable:"
  diff -u <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "$exe: PE32 i386 console program; imports ADVAPI32, KERNEL32, msvcrt;" \
  "one resource, the asInvoker manifest"
