; The installer of Velmora Manager for Windows, made by scripts/package-windows
; with makensis. Defines it passes: VERSION (2.84), VERSION4 (2.84.0.0),
; OUTFILE, LICENSE, ICON, FILES (the install's File lines) and UNFILES (the
; uninstaller's Delete and RMDir lines), both generated from the install
; folder so that the uninstaller removes exactly what was installed.
;
; Silent: setup.exe /S [/ADDTOPATH] [/D=folder]; uninstall.exe /S.

; A 64-bit installer for the 64-bit program: it runs where the program can.
Target amd64-unicode
!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "StrFunc.nsh"
!include "WinMessages.nsh"
!include "x64.nsh"
${StrStr}
${UnStrRep}

!define PRODUCT "Velmora Manager"
!define REGKEY "Software\${PRODUCT}"
!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define ENVKEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${REGKEY}" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION4}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Velmora Manager developers"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "${PRODUCT}" SecProgram
  SectionIn RO
  SetShellVarContext all
  !include "${FILES}"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\velmora.exe" "" "$INSTDIR\velmora.exe" 0
  WriteRegStr HKLM "${REGKEY}" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTKEY}" "Publisher" "Velmora Manager developers"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayIcon" "$INSTDIR\velmora.exe"
  WriteRegStr HKLM "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTKEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTKEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTKEY}" "EstimatedSize" $0
SectionEnd

; velmoractl's folder (cli, with nothing else in it) on the system PATH.
; NSIS strings hold 1024 characters: a PATH that long is left alone, never
; cut short, and the user is told.
Section /o "velmoractl on the PATH (for scripts)" SecPath
  ClearErrors
  ReadRegStr $0 HKLM "${ENVKEY}" "Path"
  ${If} ${Errors}
    DetailPrint "The system PATH could not be read: velmoractl was not added to it."
    Return
  ${EndIf}
  StrLen $1 "$0;$INSTDIR\cli"
  ${If} $1 >= 1020
    MessageBox MB_ICONEXCLAMATION|MB_OK "The system PATH is too long for this installer to change safely. Add $INSTDIR\cli to it yourself to run velmoractl from any folder." /SD IDOK
    Return
  ${EndIf}
  ${StrStr} $2 ";$0;" ";$INSTDIR\cli;"
  ${If} $2 == ""
    ${If} $0 == ""
      WriteRegExpandStr HKLM "${ENVKEY}" "Path" "$INSTDIR\cli"
    ${Else}
      WriteRegExpandStr HKLM "${ENVKEY}" "Path" "$0;$INSTDIR\cli"
    ${EndIf}
    WriteRegDWORD HKLM "${REGKEY}" "AddedToPath" 1
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
    DetailPrint "Added $INSTDIR\cli to the system PATH."
  ${EndIf}
SectionEnd

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP|MB_OK "${PRODUCT} needs 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/ADDTOPATH" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecPath} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  ; The PATH entry first, while its folder's name is still known.
  ReadRegDWORD $0 HKLM "${REGKEY}" "AddedToPath"
  ${If} $0 == 1
    ClearErrors
    ReadRegStr $1 HKLM "${ENVKEY}" "Path"
    StrLen $2 $1
    ${If} ${Errors}
    ${OrIf} $2 >= 1020
      MessageBox MB_ICONEXCLAMATION|MB_OK "Remove $INSTDIR\cli from the system PATH yourself: it is too long for this uninstaller to change safely." /SD IDOK
    ${Else}
      ${UnStrRep} $3 ";$1;" ";$INSTDIR\cli;" ";"
      StrCpy $3 $3 "" 1
      StrCpy $3 $3 -1
      WriteRegExpandStr HKLM "${ENVKEY}" "Path" "$3"
      SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
    ${EndIf}
  ${EndIf}
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  !include "${UNFILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTKEY}"
  DeleteRegKey HKLM "${REGKEY}"
SectionEnd
