; The installer in a software update package: "Software-<version>.exe" in "Software-<version>.zip", which the
; running program unpacks and starts without arguments. One package serves every installation, so it carries
; the setup program of each width the release has and runs the one that fits: x86 on 32-bit Windows; on
; 64-bit Windows x64, unless only the x86 program is installed there. Its own arguments go to that setup
; program (/S updates silently), and it ends with the setup program's exit code. It shows nothing itself but
; the refusal when no setup program it carries can run here. The build defines:
;   VERSION    the product version
;   OUTFILE    the installer to write
;   ICON       the program's icon
;   SETUP_X64  the x64 setup program   (at least one of the two)
;   SETUP_X86  the x86 setup program

!ifndef SETUP_X64
  !ifndef SETUP_X86
    !error "define SETUP_X64, SETUP_X86 or both"
  !endif
!endif

Unicode true
Target x86-unicode

!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh

!define PRODUCT "Calidra"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define ERROR_EXE_MACHINE_TYPE_MISMATCH 216

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
RequestExecutionLevel admin
; The setup programs inside are compressed already.
SetCompress off

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} update"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) Kelvaro-DIG"

Var Width

; Everything happens before any window: the chosen setup program shows its own.
Function .onInit
  StrCpy $Width "x86"
  ${If} ${RunningX64}
    SetRegView 64
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    SetRegView 32
    ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    SetRegView default
    ${If} $0 != ""
    ${OrIf} $1 == ""
      StrCpy $Width "x64"
    ${EndIf}
  ${EndIf}
  ; A package with one width only: x86 runs everywhere, x64 on 64-bit Windows.
  !ifndef SETUP_X64
    StrCpy $Width "x86"
  !endif
  !ifndef SETUP_X86
    ${If} ${RunningX64}
      StrCpy $Width "x64"
    ${EndIf}
  !endif

  InitPluginsDir
  !ifdef SETUP_X64
    ${If} $Width == "x64"
      File "/oname=$PLUGINSDIR\setup.exe" "${SETUP_X64}"
    ${EndIf}
  !endif
  !ifdef SETUP_X86
    ${If} $Width == "x86"
      File "/oname=$PLUGINSDIR\setup.exe" "${SETUP_X86}"
    ${EndIf}
  !endif
  ${IfNot} ${FileExists} "$PLUGINSDIR\setup.exe"
    MessageBox MB_ICONSTOP "This update of ${PRODUCT} needs 64-bit Windows." /SD IDOK
    SetErrorLevel ${ERROR_EXE_MACHINE_TYPE_MISMATCH}
    Quit
  ${EndIf}
  ${GetParameters} $2
  ClearErrors
  ExecWait '"$PLUGINSDIR\setup.exe" $2' $3
  ${If} ${Errors}
    StrCpy $3 1
  ${EndIf}
  SetErrorLevel $3
  Quit
FunctionEnd

Section
SectionEnd
