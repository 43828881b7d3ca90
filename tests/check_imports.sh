#!/bin/sh
# Fails when the program imports a DLL that Windows might take from the
# program's own folder: only the system's known DLLs, which always come from
# the system folder, and comctl32, which the manifest redirects to the
# system's side-by-side copy, may be imported. Every other DLL is loaded at run
# time from the system folder (base/system_library.h).
objdump=$1
exe=$2
imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || { echo "no imports found in $exe"; exit 1; }
status=0
for dll in $imports; do
  case "$dll" in
    kernel32.dll|user32.dll|gdi32.dll|shell32.dll|advapi32.dll|msvcrt.dll|ole32.dll|shlwapi.dll)
      echo "known DLL: $dll" ;;
    comctl32.dll)
      echo "redirected by the manifest: $dll" ;;
    *) echo "NOT a known or redirected DLL: $dll"; status=1 ;;
  esac
done
exit $status
