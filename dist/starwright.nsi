; The Starwright installer, built on Linux by dist/build.sh with makensis. It installs the
; 32-bit plug-in for 32-bit hosts into "Program Files (x86)\Starwright" and, on 64-bit Windows,
; the 64-bit one for 64-bit hosts into "Program Files\Starwright", and registers each with the
; regsvr32 of its own bitness. Run with /S it asks nothing; its exit code tells the outcome.
;
; Defined by the build: VERSION ("1.00"), VERSION4 ("1.0.0.0"), DLL32, DLL64, README, LICENSE,
; OUTFILE; SIGN, the signing script, when a code-signing certificate is given.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh

!define PRODUCT "Starwright"
!define PUBLISHER "Starwright developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Starwright"
!define UNINSTALLER "uninstall.exe"
; Exit codes of a silent run besides 0 (done) and 2 (aborted, NSIS's own).
!define EXIT_NOT_ADMIN 740         ; ERROR_ELEVATION_REQUIRED
!define EXIT_NOT_REGISTERED 3

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
; The uninstaller is signed before it is packed into the installer, the installer once written.
!ifdef SIGN
  !uninstfinalize '"${SIGN}" "%1"' = 0
  !finalize '"${SIGN}" "%1"' = 0
!endif
InstallDir "$PROGRAMFILES\${PRODUCT}"
ShowInstDetails show
ShowUninstDetails show
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION4}"
VIFileVersion "${VERSION4}"
VIAddVersionKey ProductName "${PRODUCT}"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey FileDescription "${PRODUCT} ${VERSION} setup"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey LegalCopyright "Copyright (c) 2026 ${PUBLISHER}"

; The folder of the 32-bit plug-in; $INSTDIR holds the 64-bit one, the uninstaller and the
; documents (on 32-bit Windows both are the same folder).
Var Dir32

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TITLE "Install ${PRODUCT} ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "${PRODUCT} adds three tools to MaxIm DL: a camera cool-down, a FITS header keyword writer and a dated folder maker.$\r$\n$\r$\nSetup copies the plug-in onto this computer and registers it with Windows, so that MaxIm DL can load it, for all users. On 64-bit Windows it installs both the 32-bit and the 64-bit plug-in, for either kind of MaxIm DL.$\r$\n$\r$\nPlease close MaxIm DL before you continue."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "${PRODUCT} is installed"
!define MUI_FINISHPAGE_TEXT "In MaxIm DL, add Starwright.PlugIn to the plug-ins; it then appears in the Plug-ins menu as $\"Starwright 1.0$\".$\r$\n$\r$\nTo remove it, use $\"Apps & features$\" (or $\"Programs and Features$\") in the Windows settings."
!insertmacro MUI_PAGE_FINISH
!define MUI_UNCONFIRMPAGE_TEXT_TOP "Setup will unregister ${PRODUCT} from Windows and remove it from this computer. Please close MaxIm DL before you continue."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; --- Shared by the installer and the uninstaller ------------------------------------------

; Installing for every user of the machine writes to Program Files and to HKLM.
!macro RequireAdmin
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is set up for all users of this computer, which needs administrator rights.$\r$\nPlease run this program again as an administrator." /SD IDOK
    SetErrorLevel ${EXIT_NOT_ADMIN}
    Quit
  ${EndIf}
!macroend

; The 32-bit plug-in's folder, and on 64-bit Windows the 64-bit registry view for the
; "Apps & features" entry.
!macro ChooseFolder32
  ${If} ${RunningX64}
    SetRegView 64
    StrCpy $Dir32 "$PROGRAMFILES32\${PRODUCT}"
  ${Else}
    StrCpy $Dir32 $INSTDIR
  ${EndIf}
!macroend

; regsvr32 of the given bitness (32 or 64) with the given options on a DLL; its exit code in
; $0, or -1 when it could not be started. This program is 32-bit: on 64-bit Windows, system32
; is the 64-bit folder only while file system redirection is off, and the 32-bit tools live
; in SysWOW64.
!macro Regsvr32 BITS OPTIONS DLL
  StrCpy $0 -1
  !if ${BITS} == 64
    ${DisableX64FSRedirection}
    ExecWait '"$SYSDIR\regsvr32.exe" ${OPTIONS} "${DLL}"' $0
    ${EnableX64FSRedirection}
  !else
    ${If} ${RunningX64}
      ExecWait '"$WINDIR\SysWOW64\regsvr32.exe" ${OPTIONS} "${DLL}"' $0
    ${Else}
      ExecWait '"$SYSDIR\regsvr32.exe" ${OPTIONS} "${DLL}"' $0
    ${EndIf}
  !endif
!macroend

; --- Installer ---------------------------------------------------------------------------

Function .onInit
  !insertmacro RequireAdmin
  ${If} ${RunningX64}
    StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
  ${EndIf}
  !insertmacro ChooseFolder32
FunctionEnd

; An earlier installation (of this or an older version) is removed by its own uninstaller, so
; that exactly one registration remains, whatever the earlier version wrote. _?= keeps the
; uninstaller where it is and makes ExecWait wait for it.
Function RemovePrevious
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $1 == ""
  ${OrIfNot} ${FileExists} "$1\${UNINSTALLER}"
    Return
  ${EndIf}
  ReadRegStr $2 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  DetailPrint "Removing ${PRODUCT} $2, which is installed in $1"
  ExecWait '"$1\${UNINSTALLER}" /S _?=$1' $0
  ${If} $0 != 0
    DetailPrint "The earlier version's uninstaller ended with code $0; installing over it"
  ${EndIf}
  Delete "$1\${UNINSTALLER}"
  RMDir "$1"
FunctionEnd

; Takes back what this run installed: after a failed registration nothing of it stays.
Function RollBack
  DetailPrint "Taking back what was installed"
  ${If} ${RunningX64}
    !insertmacro Regsvr32 64 "/u /s" "$INSTDIR\Starwright.dll"
    Delete "$INSTDIR\Starwright.dll"
  ${EndIf}
  !insertmacro Regsvr32 32 "/u /s" "$Dir32\Starwright.dll"
  Delete "$Dir32\Starwright.dll"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE"
  SetOutPath $TEMP
  RMDir "$Dir32"
  RMDir "$INSTDIR"
FunctionEnd

; Registers the DLL of the given bitness; on failure tells the user, rolls back and aborts.
!macro RegisterOrRollBack BITS DLL
  DetailPrint "Registering the ${BITS}-bit plug-in with Windows"
  !insertmacro Regsvr32 ${BITS} "/s" "${DLL}"
  ${If} $0 != 0
    DetailPrint "Windows could not register the ${BITS}-bit plug-in (regsvr32 ended with code $0)"
    Call RollBack
    MessageBox MB_OK|MB_ICONSTOP "Windows could not register the ${BITS}-bit ${PRODUCT} plug-in (regsvr32 ended with code $0).$\r$\n$\r$\nSetup has taken back what it installed. Please make sure MaxIm DL is closed and run setup again as an administrator." /SD IDOK
    SetErrorLevel ${EXIT_NOT_REGISTERED}
    Abort "${PRODUCT} was not installed."
  ${EndIf}
!macroend

Section "${PRODUCT}"
  Call RemovePrevious

  DetailPrint "Copying the 32-bit plug-in to $Dir32"
  SetOutPath "$Dir32"
  File "/oname=Starwright.dll" "${DLL32}"
  ${If} ${RunningX64}
    DetailPrint "Copying the 64-bit plug-in to $INSTDIR"
    SetOutPath "$INSTDIR"
    File "/oname=Starwright.dll" "${DLL64}"
  ${EndIf}
  SetOutPath "$INSTDIR"
  File "/oname=README.md" "${README}"
  File "/oname=LICENSE" "${LICENSE}"

  !insertmacro RegisterOrRollBack 32 "$Dir32\Starwright.dll"
  ${If} ${RunningX64}
    !insertmacro RegisterOrRollBack 64 "$INSTDIR\Starwright.dll"
  ${EndIf}

  DetailPrint "Adding ${PRODUCT} to the installed programs"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KB, over both folders.
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  ${If} $Dir32 != $INSTDIR
    ${GetSize} "$Dir32" "/S=0K" $4 $2 $3
    IntOp $1 $1 + $4
  ${EndIf}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $1
  DetailPrint "${PRODUCT} ${VERSION} is installed"
SectionEnd

; --- Uninstaller -------------------------------------------------------------------------

; $INSTDIR is the uninstaller's own folder.
Function un.onInit
  !insertmacro RequireAdmin
  !insertmacro ChooseFolder32
FunctionEnd

; Unregisters the DLL of the given bitness if it is there; a failure is reported, and the
; files go all the same.
!macro Unregister BITS DLL
  ${If} ${FileExists} "${DLL}"
    DetailPrint "Unregistering the ${BITS}-bit plug-in from Windows"
    !insertmacro Regsvr32 ${BITS} "/u /s" "${DLL}"
    ${If} $0 != 0
      DetailPrint "Windows could not unregister the ${BITS}-bit plug-in (regsvr32 ended with code $0)"
      MessageBox MB_OK|MB_ICONEXCLAMATION "Windows could not unregister the ${BITS}-bit ${PRODUCT} plug-in (regsvr32 ended with code $0). Its files are removed all the same." /SD IDOK
    ${EndIf}
  ${EndIf}
!macroend

Section "Uninstall"
  ${If} ${RunningX64}
    !insertmacro Unregister 64 "$INSTDIR\Starwright.dll"
    Delete /REBOOTOK "$INSTDIR\Starwright.dll"
  ${EndIf}
  !insertmacro Unregister 32 "$Dir32\Starwright.dll"
  DetailPrint "Removing the files"
  Delete /REBOOTOK "$Dir32\Starwright.dll"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE"
  Delete "$INSTDIR\${UNINSTALLER}"
  SetOutPath $TEMP
  RMDir "$Dir32"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${If} ${RebootFlag}
    MessageBox MB_OK|MB_ICONINFORMATION "A plug-in file was still in use (is MaxIm DL running?). It will be removed when Windows restarts." /SD IDOK
  ${EndIf}
SectionEnd
