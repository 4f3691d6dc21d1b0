; The Starwright installer, built on Linux by dist/build.sh with makensis. It installs the
; 32-bit plug-in for 32-bit hosts into "Program Files (x86)\Starwright" and, on 64-bit Windows,
; the 64-bit one for 64-bit hosts into "Program Files\Starwright", and registers each with the
; regsvr32 of its own bitness. An installed version is replaced in one change that completes or
; is taken back, also while MaxIm DL has it loaded (see "Installed files are never overwritten").
; Run with /S it asks nothing; its exit code tells the outcome.
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
; Exit codes of a silent run besides 0 (done) and 2 (aborted, NSIS's own); README lists them.
!define EXIT_NOT_ADMIN 740     ; ERROR_ELEVATION_REQUIRED
!define EXIT_NOT_REGISTERED 3  ; a registration (or a file) failed; what was there is back
!define EXIT_IN_USE 32         ; ERROR_SHARING_VIOLATION: a program holds a file; nothing changed
!define EXIT_RESTART 3010      ; ERROR_SUCCESS_REBOOT_REQUIRED: done; a loaded file goes at restart
!define EXIT_NOT_PUT_BACK 1603 ; ERROR_INSTALL_FAILURE: failed, and not all could be put back

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
; The installed files renamed aside ("" where there was none, or once put back), see SetAside.
Var Aside64
Var Aside32
Var AsideReadme
Var AsideLicense
; The first installed file that a program holds so that it cannot even be renamed.
Var Blocked
; Whether an installed 64-bit and 32-bit plug-in was there when setup started ("1").
Var Had64
Var Had32
; How far setup has changed the installed version: "unregistered" (its DLLs), "replacing" (its
; files set aside), then "done" or "rolled back".
Var Stage
; The installed version before this run, from its "Apps & features" entry.
Var Previous
; What went wrong, for the message.
Var Failure
; Files left for Windows to delete at the next restart, and what could not be put back or
; removed: one per line, for the messages.
Var InUse
Var Problems

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

; Installed files are never overwritten or deleted in place while a change may still be taken
; back, and never left for Windows to delete at the next restart under their own names, which the
; next installation writes (the one exception, an uninstaller run in place, which cannot even be
; renamed, is dropped from that list by the next installation). Windows lets a program rename a
; DLL that a running MaxIm DL has loaded, though not write or delete it; so an installed file is
; first renamed aside, and one set aside that is still loaded when it is no longer needed stays,
; under that name, until Windows deletes it at the next restart. A DLL is unregistered under its
; own name, before it is set aside: unregistering a type library loads it from the path it was
; registered with.
!macro FileFunctions UN
; Renames the file $R0 aside to the first free name "<name>.old-<n>" beside it, into $R1 (""
; when there is no such file). Sets the error flag when Windows refuses: a program holds the file
; open and does not let it be renamed.
Function ${UN}SetAside
  StrCpy $R1 ""
  ClearErrors
  ${IfNot} ${FileExists} $R0
    Return
  ${EndIf}
  StrCpy $R2 1
  ${Do}
    StrCpy $R1 "$R0.old-$R2"
    ${IfNot} ${FileExists} $R1
      ${Break}
    ${EndIf}
    IntOp $R2 $R2 + 1
  ${Loop}
  ClearErrors
  Rename $R0 $R1
  ${If} ${Errors}
    StrCpy $R1 ""
    SetErrors
  ${EndIf}
FunctionEnd

; Deletes the set-aside file $R0 ("" for none); when a program still has it loaded, leaves it
; for Windows to delete at the next restart and adds it to $InUse.
Function ${UN}RemoveAside
  ${If} $R0 == ""
  ${OrIfNot} ${FileExists} $R0
    Return
  ${EndIf}
  Delete $R0
  ${If} ${FileExists} $R0
    Delete /REBOOTOK $R0
    StrCpy $InUse "$InUse$R0$\r$\n"
    DetailPrint "$R0 is still in use; Windows deletes it when it restarts"
  ${EndIf}
FunctionEnd

; Deletes the installed file $R0, by way of a name aside when a program has it loaded; adds it
; to $Problems when a program holds it so that it can be neither deleted nor renamed.
Function ${UN}RemoveFile
  ${IfNot} ${FileExists} $R0
    Return
  ${EndIf}
  Delete $R0
  ${IfNot} ${FileExists} $R0
    Return
  ${EndIf}
  Call ${UN}SetAside
  ${If} ${Errors}
    StrCpy $Problems "$Problems$R0 is in use and could not be removed$\r$\n"
    Return
  ${EndIf}
  StrCpy $R0 $R1
  Call ${UN}RemoveAside
FunctionEnd

; Puts every file set aside back under its own name.
Function ${UN}PutBack
  !insertmacro PutBackOne $Aside64 "$INSTDIR\Starwright.dll"
  !insertmacro PutBackOne $Aside32 "$Dir32\Starwright.dll"
  !insertmacro PutBackOne $AsideReadme "$INSTDIR\README.md"
  !insertmacro PutBackOne $AsideLicense "$INSTDIR\LICENSE"
FunctionEnd

; Sets every installed file aside, or none: when a program holds one ($Blocked) so that it
; cannot be renamed, puts back those already set aside.
Function ${UN}SetAsideAll
  StrCpy $Blocked ""
  StrCpy $Aside64 ""
  StrCpy $Aside32 ""
  StrCpy $AsideReadme ""
  StrCpy $AsideLicense ""
  ${If} ${RunningX64}
    !insertmacro SetAsideOne "${UN}" "$INSTDIR\Starwright.dll" $Aside64
  ${EndIf}
  !insertmacro SetAsideOne "${UN}" "$Dir32\Starwright.dll" $Aside32
  !insertmacro SetAsideOne "${UN}" "$INSTDIR\README.md" $AsideReadme
  !insertmacro SetAsideOne "${UN}" "$INSTDIR\LICENSE" $AsideLicense
  ${If} $Blocked != ""
    Call ${UN}PutBack
  ${EndIf}
FunctionEnd

; Before anything changes: makes sure that every installed file can be set aside (by doing it
; and putting them back), or asks to close MaxIm DL and retry. Cancel (and a silent run) stops
; with EXIT_IN_USE, having changed nothing.
Function ${UN}WaitUntilMovable
  ${Do}
    Call ${UN}SetAsideAll
    ${If} $Blocked == ""
      Call ${UN}PutBack
    ${EndIf}
    ${If} $Problems != ""
      MessageBox MB_OK|MB_ICONSTOP "Setup could not put back the files it had renamed:$\r$\n$Problems" /SD IDOK
      SetErrorLevel ${EXIT_NOT_PUT_BACK}
      Abort "Setup could not put back the files it had renamed."
    ${EndIf}
    ${If} $Blocked == ""
      Return
    ${EndIf}
    DetailPrint "$Blocked is in use by another program"
    ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$Blocked is in use by another program (is MaxIm DL open?), so setup can neither replace nor remove it.$\r$\n$\r$\nPlease close MaxIm DL and click Retry, or click Cancel to stop here; nothing has been changed." /SD IDCANCEL IDRETRY`
      SetErrorLevel ${EXIT_IN_USE}
      Abort "$Blocked is in use; nothing has been changed."
    ${EndIf}
  ${Loop}
FunctionEnd
!macroend

!macro SetAsideOne UN FILE VAR
  ${If} $Blocked == ""
    StrCpy $R0 "${FILE}"
    Call ${UN}SetAside
    ${If} ${Errors}
      StrCpy $Blocked "${FILE}"
    ${EndIf}
    StrCpy ${VAR} $R1
  ${EndIf}
!macroend

!macro PutBackOne ASIDE FILE
  ${If} ${ASIDE} != ""
    ClearErrors
    Rename "${ASIDE}" "${FILE}"
    ${If} ${Errors}
      StrCpy $Problems "$Problems${FILE} is still named ${ASIDE}$\r$\n"
    ${Else}
      StrCpy ${ASIDE} ""
    ${EndIf}
  ${EndIf}
!macroend

; --- Installer ---------------------------------------------------------------------------

!insertmacro FileFunctions ""

Function .onInit
  !insertmacro RequireAdmin
  ${If} ${RunningX64}
    StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
  ${EndIf}
  !insertmacro ChooseFolder32
FunctionEnd

; Writes one file of this version; a failure is the run's failure.
!macro WriteFile FOLDER NAME SOURCE
  ClearErrors
  SetOutPath "${FOLDER}"
  File "/oname=${NAME}" "${SOURCE}"
  ${If} ${Errors}
    StrCpy $Failure "Setup could not write ${FOLDER}\${NAME}"
    Call Fail
  ${EndIf}
!macroend

; Registers the DLL of the given bitness; a failure is the run's failure.
!macro Register BITS DLL
  DetailPrint "Registering the ${BITS}-bit plug-in with Windows"
  !insertmacro Regsvr32 ${BITS} "/s" "${DLL}"
  ${If} $0 != 0
    StrCpy $Failure "Windows could not register the ${BITS}-bit ${PRODUCT} plug-in (regsvr32 ended with code $0)"
    Call Fail
  ${EndIf}
!macroend

; Registers the installed DLL of the given bitness again after a failure.
!macro RegisterAgain BITS DLL
  !insertmacro Regsvr32 ${BITS} "/s" "${DLL}"
  ${If} $0 != 0
    StrCpy $Problems "$Problems${DLL} is back but Windows could not register it again (regsvr32 ended with code $0)$\r$\n"
  ${EndIf}
!macroend

; Takes this run's files and registrations back and puts the installed version back as it was:
; its files under their own names, registered again.
Function RollBack
  DetailPrint "Putting back what was there before"
  ${If} $Stage == "replacing"
    ${If} ${RunningX64}
    ${AndIf} ${FileExists} "$INSTDIR\Starwright.dll"
      !insertmacro Regsvr32 64 "/u /s" "$INSTDIR\Starwright.dll"
    ${EndIf}
    ${If} ${FileExists} "$Dir32\Starwright.dll"
      !insertmacro Regsvr32 32 "/u /s" "$Dir32\Starwright.dll"
    ${EndIf}
    ${If} ${RunningX64}
      StrCpy $R0 "$INSTDIR\Starwright.dll"
      Call RemoveFile
    ${EndIf}
    StrCpy $R0 "$Dir32\Starwright.dll"
    Call RemoveFile
    StrCpy $R0 "$INSTDIR\README.md"
    Call RemoveFile
    StrCpy $R0 "$INSTDIR\LICENSE"
    Call RemoveFile
    Call PutBack
  ${EndIf}
  StrCpy $Stage "rolled back"
  ${If} $Had32 == 1
    !insertmacro RegisterAgain 32 "$Dir32\Starwright.dll"
  ${EndIf}
  ${If} $Had64 == 1
    !insertmacro RegisterAgain 64 "$INSTDIR\Starwright.dll"
  ${EndIf}
  SetOutPath $TEMP
  RMDir "$Dir32"
  RMDir "$INSTDIR"
FunctionEnd

; After a failure ($Failure): rolls back, tells the user what is installed now and aborts.
Function Fail
  DetailPrint $Failure
  Call RollBack
  ${If} $Problems != ""
    MessageBox MB_OK|MB_ICONSTOP "$Failure.$\r$\n$\r$\nSetup could not put everything back as it was:$\r$\n$Problems" /SD IDOK
    SetErrorLevel ${EXIT_NOT_PUT_BACK}
    Abort "${PRODUCT} ${VERSION} was not installed."
  ${EndIf}
  ${If} $Previous != ""
    StrCpy $R0 "${PRODUCT} $Previous is installed as it was before."
  ${ElseIf} $Had32 == 1
    StrCpy $R0 "The plug-in that was there before is back in place and registered again."
  ${Else}
    StrCpy $R0 "Setup has taken back what it installed."
  ${EndIf}
  MessageBox MB_OK|MB_ICONSTOP "$Failure.$\r$\n$\r$\n$R0 Please make sure MaxIm DL is closed and run setup again as an administrator." /SD IDOK
  SetErrorLevel ${EXIT_NOT_REGISTERED}
  Abort "${PRODUCT} ${VERSION} was not installed."
FunctionEnd

; NSIS stops by itself when it cannot unpack a file (a full disk, say): the earlier version is
; put back then too.
Function .onInstFailed
  ${If} $Stage == "unregistered"
  ${OrIf} $Stage == "replacing"
    Call RollBack
    ${If} $Problems != ""
      SetErrorLevel ${EXIT_NOT_PUT_BACK}
    ${Else}
      SetErrorLevel ${EXIT_NOT_REGISTERED}
    ${EndIf}
  ${EndIf}
FunctionEnd

; Sets RESULT to 1 when PATH (an NT path from PendingFileRenameOperations) names a file or
; folder this installation writes. Paths compare in their long form: an uninstaller run in place
; as "C:\PROGRA~1\..." names its files by their short (8.3) names. The files and folders this
; installation writes exist by now, so their long forms can be had.
!macro IfOurPendingPath PATH RESULT
  StrCpy $R7 ${PATH} 1
  ${If} $R7 == "!"
    StrCpy $R7 ${PATH} "" 1
  ${Else}
    StrCpy $R7 ${PATH}
  ${EndIf}
  StrCpy $R8 $R7 4
  ${If} $R8 == "\??\"
    StrCpy $R7 $R7 "" 4
  ${EndIf}
  ; A folder may end in "\" (NSIS writes it so).
  StrCpy $R8 $R7 "" -1
  ${If} $R8 == "\"
    StrCpy $R7 $R7 -1
  ${EndIf}
  System::Call 'kernel32::GetLongPathNameW(w R7, w .R8, i ${NSIS_MAX_STRLEN}) i .R9'
  ${If} $R9 > 0
  ${AndIf} $R9 < ${NSIS_MAX_STRLEN}
    StrCpy $R7 $R8
  ${EndIf}
  ${If} $R7 == "$INSTDIR\Starwright.dll"
  ${OrIf} $R7 == "$Dir32\Starwright.dll"
  ${OrIf} $R7 == "$INSTDIR\README.md"
  ${OrIf} $R7 == "$INSTDIR\LICENSE"
  ${OrIf} $R7 == "$INSTDIR\${UNINSTALLER}"
  ${OrIf} $R7 == "$INSTDIR"
  ${OrIf} $R7 == "$Dir32"
    StrCpy ${RESULT} 1
  ${EndIf}
!macroend

; Windows keeps the file operations it is to do at the next restart in PendingFileRenameOperations:
; pairs of NT paths, a file and where it goes ("" to delete it, a leading "!" to replace). One
; left on a path this installation has just written (by an earlier uninstaller that found the
; plug-in loaded, say) would delete or replace the new file at the next restart: those pairs are
; dropped, every other one is kept byte for byte. Other programs add to the list at any time, so
; it is read again just before it is written back, and filtered again if it changed meanwhile.
; Uses $0-$9 and $R0-$R9.
Function ForgetPendingOperations
  System::Call 'advapi32::RegOpenKeyExW(p 0x80000002, w "SYSTEM\CurrentControlSet\Control\Session Manager", i 0, i 3, *p .r1) i .r0'
  ${If} $0 != 0
    Return
  ${EndIf}
  StrCpy $2 0 ; times read
  ${Do}
    IntOp $2 $2 + 1
    System::Call 'advapi32::RegQueryValueExW(p r1, w "PendingFileRenameOperations", p 0, *i .R0, p 0, *i 0 r3) i .r0'
    ${If} $0 != 0
    ${OrIf} $R0 != 7 ; REG_MULTI_SZ
      ${Break}
    ${EndIf}
    ; Zeroed (GPTR), with room for two more null characters: every string read ends.
    IntOp $R0 $3 + 4
    System::Call 'kernel32::GlobalAlloc(i 0x40, i R0) p .r4'
    System::Call 'kernel32::GlobalAlloc(i 0x40, i R0) p .r5'
    System::Call 'advapi32::RegQueryValueExW(p r1, w "PendingFileRenameOperations", p 0, p 0, p r4, *i r3 r3) i .r0'
    StrCpy $9 0 ; pairs dropped
    ${If} $0 = 234 ; ERROR_MORE_DATA: it grew since its size was asked
      StrCpy $9 1
    ${ElseIf} $0 == 0
      StrCpy $6 $4 ; the next pair to read
      IntPtrOp $7 $4 + $3 ; the end of what was read
      StrCpy $8 $5 ; where the next kept pair goes
      ${Do}
        System::Call 'kernel32::lstrlenW(p r6) i .R0'
        ${If} $R0 == 0 ; the empty string that ends the list
          ${Break}
        ${EndIf}
        IntOp $R1 $R0 + 1
        IntOp $R1 $R1 * 2
        IntPtrOp $R1 $6 + $R1 ; the pair's second path
        ${If} $R1 Z>= $7
          StrCpy $9 0 ; not a list of pairs: left alone
          ${Break}
        ${EndIf}
        System::Call 'kernel32::lstrlenW(p R1) i .R2'
        IntOp $R3 $R0 + $R2
        IntOp $R3 $R3 + 2
        IntOp $R3 $R3 * 2 ; the pair's bytes
        System::Call 'kernel32::lstrcpynW(w .R4, p r6, i ${NSIS_MAX_STRLEN})'
        System::Call 'kernel32::lstrcpynW(w .R5, p R1, i ${NSIS_MAX_STRLEN})'
        StrCpy $R6 0
        !insertmacro IfOurPendingPath $R4 $R6
        !insertmacro IfOurPendingPath $R5 $R6
        ${If} $R6 = 1
          DetailPrint "Windows was to delete or replace $R4 at the next restart; it no longer will"
          IntOp $9 $9 + 1
        ${Else}
          System::Call 'kernel32::RtlMoveMemory(p r8, p r6, i R3)'
          IntPtrOp $8 $8 + $R3
        ${EndIf}
        IntPtrOp $6 $6 + $R3
      ${Loop}
      ${If} $9 > 0
        ; Read again: written back only while it is still what was filtered.
        IntOp $R0 $3 + 4
        System::Call 'kernel32::GlobalAlloc(i 0x40, i R0) p .R1'
        StrCpy $R2 $R0
        System::Call 'advapi32::RegQueryValueExW(p r1, w "PendingFileRenameOperations", p 0, p 0, p R1, *i R2 R2) i .r0'
        StrCpy $R3 -1
        ${If} $0 == 0
        ${AndIf} $R2 = $3
          System::Call 'ntdll::RtlCompareMemory(p r4, p R1, i r3) i .R3'
        ${EndIf}
        System::Call 'kernel32::GlobalFree(p R1)'
        ${If} $R3 = $3
          StrCpy $9 0
          IntPtrOp $R0 $8 - $5
          ${If} $R0 = 0
            System::Call 'advapi32::RegDeleteValueW(p r1, w "PendingFileRenameOperations") i .r0'
          ${Else}
            IntOp $R0 $R0 + 2 ; and the empty string that ends the list
            System::Call 'advapi32::RegSetValueExW(p r1, w "PendingFileRenameOperations", i 0, i 7, p r5, i R0) i .r0'
          ${EndIf}
          ${If} $0 != 0
            DetailPrint "Windows did not let setup change its list of operations at the next restart (error $0)"
          ${EndIf}
        ${EndIf}
      ${EndIf}
    ${EndIf}
    System::Call 'kernel32::GlobalFree(p r4)'
    System::Call 'kernel32::GlobalFree(p r5)'
    ${If} $9 = 0
      ${Break}
    ${EndIf}
    ${If} $2 >= 5
      DetailPrint "Windows' list of operations at the next restart kept changing while setup read it; it is left as it is"
      ${Break}
    ${EndIf}
  ${Loop}
  System::Call 'advapi32::RegCloseKey(p r1)'
FunctionEnd

; Makes this version the installed one: its uninstaller and "Apps & features" entry, the
; set-aside version deleted (a file still loaded at the next restart).
Function Commit
  DetailPrint "Adding ${PRODUCT} to the installed programs"
  ClearErrors
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  ${If} ${Errors}
    StrCpy $Failure "Setup could not write $INSTDIR\${UNINSTALLER}"
    Call Fail
  ${EndIf}
  StrCpy $Stage "done"
  StrCpy $R0 $Aside64
  Call RemoveAside
  StrCpy $R0 $Aside32
  Call RemoveAside
  StrCpy $R0 $AsideReadme
  Call RemoveAside
  StrCpy $R0 $AsideLicense
  Call RemoveAside
  ; Set aside by earlier runs and no longer loaded.
  Delete "$INSTDIR\Starwright.dll.old-*"
  Delete "$Dir32\Starwright.dll.old-*"
  Call ForgetPendingOperations

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  ; Run in place (_?=), the uninstaller itself ends with its result: run the usual way, it would
  ; start a copy of itself from the temporary folder and end at once with 0.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S _?=$INSTDIR'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KB, over both folders.
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  ${If} $Dir32 != $INSTDIR
    ${GetSize} "$Dir32" "/S=0K" $4 $2 $3
    IntOp $1 $1 + $4
  ${EndIf}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $1

  ${If} $InUse != ""
    ; Told here rather than by a restart prompt on the last page: restarting Windows now is not
    ; needed, and not what anyone in the middle of a night of imaging wants clicked by habit.
    SetRebootFlag false
    MessageBox MB_OK|MB_ICONINFORMATION "${PRODUCT} ${VERSION} is installed. A program (is MaxIm DL open?) still has the version before loaded and goes on using it until it is restarted.$\r$\n$\r$\nWindows deletes the earlier files when it restarts:$\r$\n$InUse" /SD IDOK
    SetErrorLevel ${EXIT_RESTART}
  ${EndIf}
  DetailPrint "${PRODUCT} ${VERSION} is installed"
FunctionEnd

; One change that completes or is taken back: the installed version (if any) is unregistered
; and set aside, this one written and registered, and only then the set-aside one deleted.
Section "${PRODUCT}"
  ReadRegStr $Previous HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  Call WaitUntilMovable
  StrCpy $Stage "unregistered"
  ; The installed DLLs unregister what they registered, whatever version they are.
  ${If} ${RunningX64}
  ${AndIf} ${FileExists} "$INSTDIR\Starwright.dll"
    StrCpy $Had64 1
    DetailPrint "Unregistering the installed 64-bit plug-in"
    !insertmacro Regsvr32 64 "/u /s" "$INSTDIR\Starwright.dll"
  ${EndIf}
  ${If} ${FileExists} "$Dir32\Starwright.dll"
    StrCpy $Had32 1
    DetailPrint "Unregistering the installed 32-bit plug-in"
    !insertmacro Regsvr32 32 "/u /s" "$Dir32\Starwright.dll"
  ${EndIf}
  Call SetAsideAll
  ${If} $Blocked != ""
    StrCpy $Failure "$Blocked is in use by another program"
    Call Fail
  ${EndIf}
  StrCpy $Stage "replacing"

  SetOverwrite try
  DetailPrint "Copying the 32-bit plug-in to $Dir32"
  !insertmacro WriteFile "$Dir32" Starwright.dll "${DLL32}"
  ${If} ${RunningX64}
    DetailPrint "Copying the 64-bit plug-in to $INSTDIR"
    !insertmacro WriteFile "$INSTDIR" Starwright.dll "${DLL64}"
  ${EndIf}
  !insertmacro WriteFile "$INSTDIR" README.md "${README}"
  !insertmacro WriteFile "$INSTDIR" LICENSE "${LICENSE}"
  SetOverwrite on

  !insertmacro Register 32 "$Dir32\Starwright.dll"
  ${If} ${RunningX64}
    !insertmacro Register 64 "$INSTDIR\Starwright.dll"
  ${EndIf}
  Call Commit
SectionEnd

; --- Uninstaller -------------------------------------------------------------------------

!insertmacro FileFunctions "un."

; $INSTDIR is the uninstaller's own folder.
Function un.onInit
  !insertmacro RequireAdmin
  !insertmacro ChooseFolder32
FunctionEnd

; Unregisters the DLL of the given bitness if it is there; a failure is reported, and the files
; go all the same.
!macro Unregister BITS DLL
  ${If} ${FileExists} "${DLL}"
    DetailPrint "Unregistering the ${BITS}-bit plug-in from Windows"
    !insertmacro Regsvr32 ${BITS} "/u /s" "${DLL}"
    ${If} $0 != 0
      DetailPrint "Windows could not unregister the ${BITS}-bit plug-in (regsvr32 ended with code $0)"
      StrCpy $Failure "$FailureWindows could not unregister the ${BITS}-bit ${PRODUCT} plug-in (regsvr32 ended with code $0).$\r$\n"
    ${EndIf}
  ${EndIf}
!macroend

Section "Uninstall"
  Call un.WaitUntilMovable
  ${If} ${RunningX64}
    !insertmacro Unregister 64 "$INSTDIR\Starwright.dll"
  ${EndIf}
  !insertmacro Unregister 32 "$Dir32\Starwright.dll"
  DetailPrint "Removing the files"
  ${If} ${RunningX64}
    StrCpy $R0 "$INSTDIR\Starwright.dll"
    Call un.RemoveFile
  ${EndIf}
  StrCpy $R0 "$Dir32\Starwright.dll"
  Call un.RemoveFile
  StrCpy $R0 "$INSTDIR\README.md"
  Call un.RemoveFile
  StrCpy $R0 "$INSTDIR\LICENSE"
  Call un.RemoveFile
  Delete "$INSTDIR\Starwright.dll.old-*"
  Delete "$Dir32\Starwright.dll.old-*"
  ; Run in place (the quiet uninstall command runs it so), this program cannot delete itself:
  ; NSIS keeps its own file open. Windows deletes it, and then the folder, at the next restart.
  Delete "$INSTDIR\${UNINSTALLER}"
  ${If} ${FileExists} "$INSTDIR\${UNINSTALLER}"
    Delete /REBOOTOK "$INSTDIR\${UNINSTALLER}"
  ${EndIf}
  SetOutPath $TEMP
  RMDir "$Dir32"
  RMDir "$INSTDIR"
  ; A folder still there holds a file that Windows deletes at the next restart.
  ${If} ${FileExists} "$Dir32\*.*"
    RMDir /REBOOTOK "$Dir32"
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\*.*"
    RMDir /REBOOTOK "$INSTDIR"
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  SetRebootFlag false

  ${If} $InUse != ""
    MessageBox MB_OK|MB_ICONINFORMATION "${PRODUCT} is removed from Windows, but a program (is MaxIm DL open?) still has the plug-in loaded. Windows deletes these files when it restarts:$\r$\n$InUse" /SD IDOK
    SetErrorLevel ${EXIT_RESTART}
  ${EndIf}
  ${If} $Failure != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "$Failure$\r$\nIts files are removed all the same." /SD IDOK
    SetErrorLevel ${EXIT_NOT_REGISTERED}
  ${EndIf}
  ${If} $Problems != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "${PRODUCT} is unregistered, but some of its files could not be removed:$\r$\n$Problems" /SD IDOK
    SetErrorLevel ${EXIT_NOT_PUT_BACK}
  ${EndIf}
SectionEnd
