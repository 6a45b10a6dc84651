#!/bin/sh
# Checks that a D2XX library exports each entry point the program imports at FTDI's ordinal.
# Usage: check-ordinals.sh Ftd2xx.dll [--missing NAME]
#   --missing NAME: the library must not export NAME (the deliberately incomplete builds).
# objdump prints table indices (ordinal - base) in its name table; they are turned back into
# ordinals with the Ordinal Base it reports. OBJDUMP overrides the objdump used.
set -u
dll=${1:?usage: check-ordinals.sh DLL [--missing NAME]}
missing=""
if [ "${2:-}" = "--missing" ]; then
    missing=${3:?--missing needs a name}
fi
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}

dump=$("$objdump" -p "$dll") || { echo "cannot read $dll" >&2; exit 2; }
base=$(printf '%s\n' "$dump" | sed -n 's/.*Ordinal Base \([0-9][0-9]*\).*/\1/p' | head -n 1)
[ -n "$base" ] || { echo "$dll: no export table" >&2; exit 1; }

# "name ordinal" for every named export.
exports=$(printf '%s\n' "$dump" | awk -v base="$base" '
    /^\[Ordinal\/Name Pointer\] Table/ { inside = 1; next }
    inside && NF == 0 { inside = 0 }
    inside && match($0, /\[ *[0-9]+\] +[A-Za-z_][A-Za-z0-9_@]*/) {
        entry = substr($0, RSTART, RLENGTH)
        gsub(/[\[\]]/, " ", entry)
        split(entry, part, " ")
        print part[2], part[1] + base
    }')

failures=0
# FTDI's ordinals for the sixteen entries and the optional FT_SetLatencyTimer,
# FT_CreateDeviceInfoList and FT_GetDeviceInfoDetail (x86 and x64 ftd2xx.dll).
for expected in FT_Open:1 FT_Close:2 FT_Read:3 FT_Write:4 FT_SetBaudRate:7 \
                FT_SetDataCharacteristics:8 FT_SetFlowControl:9 FT_SetDtr:10 FT_ClrDtr:11 \
                FT_Purge:16 FT_SetTimeouts:17 FT_ListDevices:28 FT_SetLatencyTimer:29 \
                FT_EE_Program:37 FT_EE_Read:38 FT_GetDeviceInfo:61 FT_CyclePort:69 \
                FT_CreateDeviceInfoList:70 FT_GetDeviceInfoDetail:72; do
    name=${expected%%:*}
    ordinal=${expected##*:}
    actual=$(printf '%s\n' "$exports" | awk -v n="$name" '$1 == n { print $2 }')
    if [ "$name" = "$missing" ]; then
        if [ -n "$actual" ]; then
            echo "FAIL $name is exported (ordinal $actual) but must be missing"
            failures=$((failures + 1))
        else
            echo "ok   $name missing as intended"
        fi
    elif [ "$actual" = "$ordinal" ]; then
        echo "ok   $name @$ordinal"
    else
        echo "FAIL $name expected @$ordinal, found @${actual:-none}"
        failures=$((failures + 1))
    fi
done
[ "$failures" -eq 0 ] || { echo "$failures export(s) wrong in $dll"; exit 1; }
