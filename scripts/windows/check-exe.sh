#!/usr/bin/env bash
# Checks what a Windows executable asks of the machine it starts on. Every DLL it imports must be one that Windows
# itself provides. Wine's own set of built-in DLLs stands for that list; the C++ runtime, winpthreads or a Qt DLL would
# not be on it. Its header must ask for Windows 10, the oldest that its Qt runs on, so that an older Windows refuses it
# with its own message instead of starting it to fail.
#
# Usage: scripts/windows/check-exe.sh <exe>
set -euo pipefail
exe=$1
system_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
[ -d "$system_dlls" ] || { echo "$system_dlls not found (Debian package wine64)" >&2; exit 1; }

header=$(x86_64-w64-mingw32-objdump -p "$exe")
imports=$(echo "$header" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -fu)
[ -n "$imports" ] || { echo "$exe: no imports found" >&2; exit 1; }
foreign=
for dll in $imports; do
    # API set names are contracts that the Windows loader (8 and later) resolves to its own DLLs.
    [[ ${dll,,} == api-ms-win-* ]] && continue
    [ -n "$(find "$system_dlls" -maxdepth 1 -iname "$dll" -print -quit)" ] || foreign="$foreign $dll"
done
if [ -n "$foreign" ]; then
    echo "$exe needs DLLs that Windows does not have:$foreign" >&2
    exit 1
fi
echo "$exe imports only system DLLs: $(echo "$imports" | tr '\n' ' ')"

for field in MajorOSystemVersion:10 MinorOSystemVersion:0 MajorSubsystemVersion:10 MinorSubsystemVersion:0; do
    value=$(echo "$header" | awk -v name="${field%:*}" '$1 == name { print $2 }')
    if [ "$value" != "${field#*:}" ]; then
        echo "$exe: ${field%:*} is ${value:-missing}, not ${field#*:}" >&2
        exit 1
    fi
done
echo "$exe asks for Windows 10 or later"
