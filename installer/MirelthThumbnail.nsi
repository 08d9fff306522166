; MirelthThumbnail installer (NSIS 3, 64-bit). Installs the DLL for the current user (no elevation: under
; %LOCALAPPDATA%\Programs, registered in HKEY_CURRENT_USER\Software\Classes by "regsvr32 /n /i:user") or for all
; users (under Program Files, registered machine-wide): all users when run elevated or with /ALLUSERS, the
; current user with /CURRENTUSER or when not elevated. Adds an uninstaller and its entry in Apps & features.
; Silent with /S. Built by scripts/package:
;   makensis -DVERSION=x.y.z -DDLL=path\to\MirelthThumbnail.dll -DOUTFILE=MirelthThumbnail-setup.exe this.nsi
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include "LogicLib.nsh"
!include "FileFunc.nsh"

!ifndef VERSION
  !error "VERSION must be given (-DVERSION=x.y.z)"
!endif
!ifndef DLL
  !define DLL "MirelthThumbnail.dll"
!endif
!ifndef PROPDESC
  !define PROPDESC "MirelthThumbnail.propdesc"
!endif
!ifndef OUTFILE
  !define OUTFILE "MirelthThumbnail-setup.exe"
!endif

!define PRODUCT "MirelthThumbnail"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\MirelthThumbnail"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} installer"
VIAddVersionKey "CompanyName" "${PRODUCT}"
VIAddVersionKey "LegalCopyright" ""

Var AllUsers

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; All users: /ALLUSERS, or an elevated administrator without /CURRENTUSER.
Function .onInit
  SetRegView 64
  StrCpy $AllUsers 0
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/ALLUSERS" $R1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
  ${Else}
    ClearErrors
    ${GetOptions} $R0 "/CURRENTUSER" $R1
    ${If} ${Errors}
      UserInfo::GetAccountType
      Pop $R2
      ${If} $R2 == "Admin"
        StrCpy $AllUsers 1
      ${EndIf}
    ${EndIf}
  ${EndIf}
  ${If} $AllUsers == 1
    ; Keep a directory given with /D= (compared before the shell folders change to all users').
    ${If} $INSTDIR == "$LOCALAPPDATA\Programs\${PRODUCT}"
      StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
    ${EndIf}
    SetShellVarContext all
  ${EndIf}
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  File "/oname=MirelthThumbnail.dll" "${DLL}"
  ; The property schema the DLL registers for all users, beside it.
  File "/oname=MirelthThumbnail.propdesc" "${PROPDESC}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} $AllUsers == 1
    ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\MirelthThumbnail.dll"' $0
  ${Else}
    ExecWait '"$SYSDIR\regsvr32.exe" /s /n /i:user "$INSTDIR\MirelthThumbnail.dll"' $0
  ${EndIf}
  ${If} $0 != 0
    DetailPrint "Registering MirelthThumbnail.dll failed (regsvr32 exit code $0)."
    Delete "$INSTDIR\MirelthThumbnail.dll"
    Delete "$INSTDIR\MirelthThumbnail.propdesc"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    SetErrorLevel 2
    Abort "Registering MirelthThumbnail.dll failed."
  ${EndIf}
  ; The entry in Apps & features.
  ${If} $AllUsers == 1
    SetShellVarContext all
  ${EndIf}
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  ${If} $AllUsers == 1
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $1
  ${Else}
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $1
  ${EndIf}
SectionEnd

; The uninstaller knows how it was installed from where its Apps & features entry lives.
Function un.onInit
  SetRegView 64
  StrCpy $AllUsers 0
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 == $INSTDIR
    StrCpy $AllUsers 1
    SetShellVarContext all
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ${If} $AllUsers == 1
    ExecWait '"$SYSDIR\regsvr32.exe" /s /u "$INSTDIR\MirelthThumbnail.dll"'
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${Else}
    ExecWait '"$SYSDIR\regsvr32.exe" /s /u /n /i:user "$INSTDIR\MirelthThumbnail.dll"'
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${EndIf}
  ; Explorer may still hold the DLL: then it goes at the next restart.
  Delete /REBOOTOK "$INSTDIR\MirelthThumbnail.dll"
  Delete "$INSTDIR\MirelthThumbnail.propdesc"
  Delete "$INSTDIR\uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
SectionEnd
