#!/bin/sh
# Fails when the program imports a DLL that Windows does not ship.
objdump=$1
exe=$2
imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || { echo "no imports found in $exe"; exit 1; }
status=0
for dll in $imports; do
  case "$dll" in
    kernel32.dll|user32.dll|gdi32.dll|shell32.dll|comctl32.dll|comdlg32.dll|winmm.dll|msvfw32.dll|advapi32.dll|msvcrt.dll|ole32.dll|shlwapi.dll)
      echo "system: $dll" ;;
    *) echo "NOT a system DLL: $dll"; status=1 ;;
  esac
done
exit $status
