; The setup program for one width. The build defines:
;   VERSION  the product version, four numbers (1.0.0.5)
;   ARCH     x64 or x86
;   STAGE    the staged install folder (binaries stripped, .debug files beside them, which stay out)
;   ICON     the program's icon
;   OUTFILE  the setup program to write
;
; Silent use: Calidra-Setup-<version>-<arch>.exe /S [/D=C:\folder]   (/D last, unquoted)
;             Uninstall.exe /S [/RemoveSettings]
; The uninstaller keeps the user's settings (the registry key, the user data folder of earlier versions and the
; logs) unless the user ticks "Remove my settings" or passes /RemoveSettings.

!if "${ARCH}" == "x64"
  Target amd64-unicode
  !define DEFAULT_FOLDER "$PROGRAMFILES64\Calidra"
!else if "${ARCH}" == "x86"
  Target x86-unicode
  !define DEFAULT_FOLDER "$PROGRAMFILES\Calidra"
!else
  !error "ARCH must be x64 or x86"
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define PRODUCT "Calidra"
; The product title names the program's registry key, its user data folder and its logon task.
!define PRODUCT_TITLE "Kelvaro-DIG"
!define SETTINGS_KEY "Software\${PRODUCT_TITLE}"
!define USER_DATA_FOLDER "$LOCALAPPDATA\${PRODUCT_TITLE} Files"
!define STARTUP_TASK "${PRODUCT_TITLE} StartupTask"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define PROGRAM_EXE "Calidra.exe"
!define UPDATE_JOB_EXE "CalidraUpdate.exe"
!define SERVER_EXE "OpenTermivoxServer.exe"
; The program's machine-wide folder (its logs, and the folder each update is installed from).
!define MACHINE_FOLDER "${PRODUCT_TITLE}"
; The rules Program Files has, for the folder the program is installed to, wherever it is (also with /D=):
; SYSTEM and Administrators may change it, users may read and run it, nothing is inherited from the folder
; above (below "C:\" every signed-in user may change what others made), and the Administrators group owns it.
; The program checks at every start that nobody else can change its files, and registers its logon task only
; then.
!define INSTALL_FOLDER_RULES "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"
; How long the uninstaller waits for a stopped program to let go of its files.
!define RELEASE_TRIES 20
!define RELEASE_PAUSE_MS 250

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "${DEFAULT_FOLDER}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
ManifestDPIAware true
SetCompressor /SOLID lzma
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${PROGRAM_EXE}"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PRODUCT_TITLE}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} setup (${ARCH})"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright (C) ${PRODUCT_TITLE}"

; Ends the program, its update job and the sensor server it started, so their files can be replaced or
; removed. Every copy is ended, wherever it was started from: the program allows one instance, and a server
; left running would hold its folder.
!macro StopProgram
  nsExec::Exec '"$SYSDIR\taskkill.exe" /F /IM ${PROGRAM_EXE}'
  Pop $0
  nsExec::Exec '"$SYSDIR\taskkill.exe" /F /IM ${SERVER_EXE}'
  Pop $1
  nsExec::Exec '"$SYSDIR\taskkill.exe" /F /IM ${UPDATE_JOB_EXE}'
  Pop $2
  ${If} $0 == 0
  ${OrIf} $1 == 0
    DetailPrint "Stopped the running ${PRODUCT}"
  ${EndIf}
!macroend

; Deletes FILE, an executable StopProgram ended. Its process may hold the file until its end is complete, and a
; copy whose start was under way when the program was ended (the program starts its update job and the sensor
; server) may be running now: each try that fails ends IMAGE's copies again.
!macro DeleteWhenReleased FILE IMAGE
  StrCpy $2 0
  ${Do}
    ClearErrors
    Delete "${FILE}"
    ${IfNot} ${Errors}
      ${ExitDo}
    ${EndIf}
    IntOp $2 $2 + 1
    ${If} $2 >= ${RELEASE_TRIES}
      DetailPrint "Could not delete ${FILE}"
      ${ExitDo}
    ${EndIf}
    nsExec::Exec '"$SYSDIR\taskkill.exe" /F /IM ${IMAGE}'
    Pop $3
    Sleep ${RELEASE_PAUSE_MS}
  ${Loop}
!macroend

; Deletes the executables StopProgram ended; a file still held would make the setup program's copy fail or keep
; the folder after uninstalling.
!macro DeleteStoppedPrograms
  !insertmacro DeleteWhenReleased "$INSTDIR\${PROGRAM_EXE}" ${PROGRAM_EXE}
  !insertmacro DeleteWhenReleased "$INSTDIR\${UPDATE_JOB_EXE}" ${UPDATE_JOB_EXE}
  !insertmacro DeleteWhenReleased "$INSTDIR\Termivox\${SERVER_EXE}" ${SERVER_EXE}
  !insertmacro DeleteWhenReleased "$INSTDIR\TermivoxWin7\${SERVER_EXE}" ${SERVER_EXE}
!macroend

; Gives FOLDER the install folder's rules (owner and protected DACL, SetNamedSecurityInfoW); what is inside
; and inherits gets them too.
!macro ProtectFolder FOLDER
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${INSTALL_FOLDER_RULES}", i 1, *p .r0, p 0) i .r1'
  ${If} $1 != 0
    System::Call 'advapi32::GetSecurityDescriptorOwner(p r0, *p .r2, *i .r3) i'
    System::Call 'advapi32::GetSecurityDescriptorDacl(p r0, *i .r3, *p .r4, *i .r3) i'
    ; OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION
    System::Call 'advapi32::SetNamedSecurityInfoW(w "${FOLDER}", i 1, i 0x80000005, p r2, p 0, p r4, p 0) i .r1'
    System::Call 'kernel32::LocalFree(p r0)'
    ${If} $1 != 0
      DetailPrint "Could not protect ${FOLDER}: error $1"
    ${EndIf}
  ${EndIf}
!macroend

Var FirstNewFolder

; The outermost folder on the way to $INSTDIR that does not exist yet ($INSTDIR itself when its parent does):
; what the setup program makes, and so protects. A folder that was there before is left as its owner has it.
Function FindFirstNewFolder
  StrCpy $FirstNewFolder "$INSTDIR"
  ${Do}
    ${GetParent} "$FirstNewFolder" $0
    ${If} $0 == ""
    ${OrIf} ${FileExists} "$0\*.*"
      ${ExitDo}
    ${EndIf}
    StrCpy $FirstNewFolder $0
  ${Loop}
FunctionEnd

Function .onInit
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_ICONSTOP "Installing ${PRODUCT} needs administrator rights." /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
FunctionEnd

Section "${PRODUCT}" SecProgram
  SectionIn RO
  !insertmacro StopProgram
  Call FindFirstNewFolder
  SetOutPath "$INSTDIR"
  !insertmacro ProtectFolder "$FirstNewFolder"
  !insertmacro ProtectFolder "$INSTDIR"
  ; The program, its library, the HID library, the sensor server in both folders, the skin and the licences.
  !insertmacro DeleteStoppedPrograms
  File /r /x *.debug "${STAGE}/*"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  ; What was in the folder before (a file replaced in place keeps its rules and owner) gets the folder's rules.
  nsExec::Exec '"$SYSDIR\icacls.exe" "$INSTDIR\*" /reset /T /C /Q'
  Pop $0
  nsExec::Exec '"$SYSDIR\icacls.exe" "$INSTDIR\*" /setowner *S-1-5-32-544 /T /C /Q'
  Pop $1
  ${If} $0 != 0
  ${OrIf} $1 != 0
    DetailPrint "Could not reset the rules of what $INSTDIR held: $0 $1"
  ${EndIf}

  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${PROGRAM_EXE}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT_TITLE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM_EXE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "un.${PRODUCT}" SecUnProgram
  SectionIn RO
  !insertmacro StopProgram

  ; The program registers its logon task at every start; an absent task is no error.
  nsExec::Exec '"$SYSDIR\schtasks.exe" /Delete /TN "${STARTUP_TASK}" /F'
  Pop $0
  DetailPrint "Removing the logon task: exit code $0"

  ; Only what the setup program installed: the folder may have been chosen next to other programs.
  !insertmacro DeleteStoppedPrograms
  Delete "$INSTDIR\Tessel.dll"
  Delete "$INSTDIR\hidapi.dll"
  RMDir /r "$INSTDIR\Termivox"
  RMDir /r "$INSTDIR\TermivoxWin7"
  RMDir /r "$INSTDIR\skins"
  RMDir /r "$INSTDIR\Licenses"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"

  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; The folders updates were installed from, which the program removes at its next start.
  FindFirst $0 $1 "$APPDATA\${MACHINE_FOLDER}\Update-*"
  ${DoWhile} $1 != ""
    RMDir /r "$APPDATA\${MACHINE_FOLDER}\$1"
    FindNext $0 $1
  ${Loop}
  FindClose $0
SectionEnd

Section /o "un.Remove my settings" SecUnSettings
  SetShellVarContext current
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  RMDir /r "${USER_DATA_FOLDER}"
  ; The logs, in the machine-wide folder.
  SetShellVarContext all
  RMDir /r "$APPDATA\${MACHINE_FOLDER}"
SectionEnd

Function un.onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/RemoveSettings" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecUnSettings} ${SF_SELECTED}
  ${EndIf}
FunctionEnd
