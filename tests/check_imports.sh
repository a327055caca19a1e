#!/bin/sh
# Fails if a product binary imports a DLL that a plain Windows installation does not have, other than the
# product's own Tessel.dll and hidapi.dll.
objdump=$1; shift
status=0
for bin in "$@"; do
  dlls=$("$objdump" -p "$bin" | sed -n 's/.*DLL Name: //p')
  [ -n "$dlls" ] || { echo "$bin: no imports read"; status=1; continue; }
  for dll in $dlls; do
    case $(echo "$dll" | tr 'A-Z' 'a-z') in
      tessel.dll|hidapi.dll|kernel32.dll|user32.dll|gdi32.dll|gdiplus.dll|advapi32.dll|shell32.dll|shlwapi.dll|\
      ole32.dll|oleaut32.dll|comctl32.dll|comdlg32.dll|msimg32.dll|winmm.dll|imm32.dll|wininet.dll|crypt32.dll|\
      setupapi.dll|hid.dll|cfgmgr32.dll|msvcrt.dll|ntdll.dll|taskschd.dll|version.dll|uxtheme.dll|\
      api-ms-win-crt-*|ws2_32.dll|bcrypt.dll|dwmapi.dll|oleacc.dll) ;;
      *) echo "$bin imports $dll"; status=1 ;;
    esac
  done
done
[ $status -eq 0 ] && echo "imports: only system DLLs, Tessel.dll and hidapi.dll"
exit $status
