; The Starwright installer, built on Linux by dist/build.sh with makensis. It installs the
; 32-bit plug-in for 32-bit hosts into "Program Files (x86)\Starwright" and, on 64-bit Windows,
; the 64-bit one for 64-bit hosts into "Program Files\Starwright", and registers each with the
; regsvr32 of its own bitness. An installed version is replaced in one change that completes or
; is taken back, also while MaxIm DL has it loaded (see "Installed files are never overwritten"),
; and a run cut off in the middle is taken back by the next one (see WriteRecord).
; Run with /S it asks nothing; its exit code tells the outcome.
;
; Defined by the build: VERSION ("1.00"), VERSION4 ("1.0.0.0"), DLL32, DLL64, README, LICENSE,
; OUTFILE; GUIDE, the folder of the guide made from README (guide.html and its pictures), and
; GUIDE_FILES, the list of them (see GuideFiles); CLSID, IID and LIBID, the plug-in's
; identifiers; SIGN, the signing script, when a code-signing certificate is given.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh
!include "${GUIDE_FILES}"

!define PRODUCT "Starwright"
!define PUBLISHER "Starwright developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Starwright"
!define UNINSTALLER "uninstall.exe"
; The record of a run of setup in progress, values of its "Apps & features" entry (see WriteRecord).
!define RECORD_ASIDE64 "SetupAside64"
!define RECORD_ASIDE32 "SetupAside32"
; Exit codes of a silent run besides 0 (done) and 2 (aborted, NSIS's own); README lists them.
!define EXIT_NOT_ADMIN 740     ; ERROR_ELEVATION_REQUIRED
!define EXIT_NOT_REGISTERED 3  ; a registration (or a file) failed; what was there is back
!define EXIT_IN_USE 32         ; ERROR_SHARING_VIOLATION: a program holds a file; nothing changed
!define EXIT_RESTART 3010      ; ERROR_SUCCESS_REBOOT_REQUIRED: done; a loaded file goes at restart
!define EXIT_NOT_PUT_BACK 1603 ; ERROR_INSTALL_FAILURE: failed, and not all could be put back,
                               ; or installed but not as it must be (a new file to be deleted at
                               ; the next restart, a stale per-user registration left)
; The guide's entry in the Start menu, for all users.
!define SHORTCUT "$SMPROGRAMS\${PRODUCT} guide.lnk"
; The plug-in's own keys in a user's classes (see RemoveUsersCopies).
!define USER_KEY_CLASS "CLSID\${CLSID}"
!define USER_KEY_INTERFACE "Interface\${IID}"
!define USER_KEY_PROGID "${PRODUCT}.PlugIn"
!define USER_KEY_TYPELIB "TypeLib\${LIBID}"
; The type library's version, 46.0, as the registry names it.
!define TYPELIB_VERSION "2e.0"

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
; The names the installed DLLs are renamed aside to ("" where there was none), chosen and
; recorded before the first change, see PlanChange.
Var Aside64
Var Aside32
; 1 once this run writes its documents over the installed ones, which are saved in
; $PLUGINSDIR\installed first.
Var DocumentsWritten
; The first installed file that a program holds so that it cannot even be renamed.
Var Blocked
; How far setup has changed the installed version: "changing" from its record on, then "done"
; or "rolled back".
Var Stage
; The installed version before this run, from its "Apps & features" entry.
Var Previous
; What went wrong, for the message.
Var Failure
; Files left for Windows to delete at the next restart, and what could not be put back or
; removed: one per line, for the messages.
Var InUse
Var Problems
; What is not as it must be once setup is done: one per line, for the message.
Var Unfinished
; 1 when the guide's Start menu entry was there before this run.
Var ShortcutExisted

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TITLE "Install ${PRODUCT} ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "${PRODUCT} adds three tools to MaxIm DL: a camera cool-down, a FITS header keyword writer and a dated folder maker.$\r$\n$\r$\nSetup copies the plug-in onto this computer and registers it with Windows, so that MaxIm DL can load it, for all users. On 64-bit Windows it installs both the 32-bit and the 64-bit plug-in, for either kind of MaxIm DL.$\r$\n$\r$\nPlease close MaxIm DL before you continue."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "${PRODUCT} is installed"
!define MUI_FINISHPAGE_TEXT "Next step: add ${PRODUCT} to MaxIm DL. Give MaxIm DL the plug-in's identifier, Starwright.PlugIn, where its help says plug-ins are added; MaxIm DL then lists it as $\"Starwright 1.0$\". The ${PRODUCT} guide shows how, step by step, and what each tool does; it is in the Start menu too.$\r$\n$\r$\nTo remove ${PRODUCT}, use $\"Apps & features$\" (or $\"Programs and Features$\") in the Windows settings."
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\guide.html"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Open the ${PRODUCT} guide"
!define MUI_FINISHPAGE_SHOWREADME_FUNCTION OpenGuide
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
; "Apps & features" entry; the Start menu of all users.
!macro ChooseFolder32
  SetShellVarContext all
  !insertmacro DefaultRegView
  ${If} ${RunningX64}
    StrCpy $Dir32 "$PROGRAMFILES32\${PRODUCT}"
  ${Else}
    StrCpy $Dir32 $INSTDIR
  ${EndIf}
!macroend

!macro DefaultRegView
  ${If} ${RunningX64}
    SetRegView 64
  ${Else}
    SetRegView default
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
; DLL that a running MaxIm DL has loaded, though not write or delete it; so an installed DLL is
; first renamed aside, and one set aside that is still loaded when it is no longer needed stays,
; under that name, until Windows deletes it at the next restart. A DLL is unregistered under its
; own name, before it is set aside: unregistering a type library loads it from the path it was
; registered with. So a registration always names a DLL under its own name, and a set-aside one
; is always "Starwright.dll.old-<n>": the documents are written over in place, a copy kept for a
; rollback. Wherever a run is cut off, every uninstaller, of this version or an earlier one, finds
; all there is to unregister and remove.
!macro FileFunctions UN
; Into $R1 the first free name "<name>.old-<n>" beside the file $R0 ("" when there is no such file).
Function ${UN}AsideName
  StrCpy $R1 ""
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
FunctionEnd

; Deletes the installed file $R0, or renames it aside when a program has it loaded (RemoveAsides
; then deletes it at the next restart); adds it to $Problems when a program holds it so that it
; can be neither deleted nor renamed.
Function ${UN}RemoveFile
  ${IfNot} ${FileExists} $R0
    Return
  ${EndIf}
  Delete $R0
  ${IfNot} ${FileExists} $R0
    Return
  ${EndIf}
  Call ${UN}AsideName
  ClearErrors
  Rename $R0 $R1
  ${If} ${Errors}
    StrCpy $Problems "$Problems$R0 is in use and could not be removed$\r$\n"
  ${EndIf}
FunctionEnd

; Deletes every file set aside in the plug-in folders, by this run or by any earlier one, also
; one that was cut off (earlier versions set the documents aside too). One that a program still
; has loaded is left for Windows to delete at the next restart and added to $InUse.
Function ${UN}RemoveAsides
  !insertmacro RemoveAsidesIn "${UN}" "$INSTDIR" Starwright.dll
  !insertmacro RemoveAsidesIn "${UN}" "$INSTDIR" README.md
  !insertmacro RemoveAsidesIn "${UN}" "$INSTDIR" LICENSE
  ${If} $Dir32 != $INSTDIR
    !insertmacro RemoveAsidesIn "${UN}" "$Dir32" Starwright.dll
  ${EndIf}
  !insertmacro GuideFiles GuideAsides "${UN}"
FunctionEnd

; A per-user registration of the plug-in's own identifiers (its class, interface, ProgID or type
; library key in a user's classes) wins over the machine's for that user on Windows: that user's
; MaxIm DL would load the file it names, an earlier version or none. The plug-in registers
; nothing per user, so such a copy is always stale (an earlier per-user registration left it):
; it goes, in both views, from the classes of every user whose profile is loaded now
; (HKEY_USERS\<SID>_Classes, which is also <SID>\Software\Classes; Wine has only the second), the
; installing user's among them. Each one removed is listed in the details; one that cannot be
; removed goes into $Unfinished. A profile that is not loaded now keeps its copy until that user
; registers the plug-in (setup or regsvr32 run as that user).
Function ${UN}RemoveUsersCopies
  StrCpy $R3 0
  ${Do}
    ClearErrors
    EnumRegKey $R2 HKU "" $R3
    ${If} ${Errors}
    ${OrIf} $R2 == ""
      ${Break}
    ${EndIf}
    IntOp $R3 $R3 + 1
    StrCpy $R4 $R2 "" -8
    ${If} $R4 == "_Classes"
      StrCpy $R4 $R2
    ${Else}
      StrCpy $R4 "$R2\Software\Classes"
    ${EndIf}
    !insertmacro RemoveUsersCopy "$R4\${USER_KEY_CLASS}"
    !insertmacro RemoveUsersCopy "$R4\${USER_KEY_INTERFACE}"
    !insertmacro RemoveUsersCopy "$R4\${USER_KEY_PROGID}"
    !insertmacro RemoveUsersCopy "$R4\${USER_KEY_TYPELIB}"
  ${Loop}
  !insertmacro DefaultRegView
FunctionEnd

; Sets $Blocked to the file $R0 when a program holds it so that it could not be set aside or
; replaced: Windows is asked by opening it, sharing everything, for the access that needs ($R1:
; DELETE for a DLL, which a loaded one allows, and also GENERIC_WRITE for a document). Nothing
; changes, so a run cut off here leaves everything as it was.
Function ${UN}CheckMovable
  ${If} $Blocked != ""
  ${OrIfNot} ${FileExists} $R0
    Return
  ${EndIf}
  ; FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING
  System::Call 'kernel32::CreateFileW(w R0, i R1, i 7, p 0, i 3, i 0, p 0) p .R2'
  ${If} $R2 P= -1
    StrCpy $Blocked $R0
  ${Else}
    System::Call 'kernel32::CloseHandle(p R2)'
  ${EndIf}
FunctionEnd

; Before anything changes: makes sure that no program holds an installed file so, or asks to
; close MaxIm DL and retry. Cancel (and a silent run) stops with EXIT_IN_USE, having changed
; nothing.
Function ${UN}WaitUntilMovable
  ${Do}
    StrCpy $Blocked ""
    StrCpy $R1 65536 ; DELETE
    ${If} ${RunningX64}
      StrCpy $R0 "$INSTDIR\Starwright.dll"
      Call ${UN}CheckMovable
    ${EndIf}
    StrCpy $R0 "$Dir32\Starwright.dll"
    Call ${UN}CheckMovable
    StrCpy $R1 1073807360 ; DELETE | GENERIC_WRITE
    StrCpy $R0 "$INSTDIR\README.md"
    Call ${UN}CheckMovable
    StrCpy $R0 "$INSTDIR\LICENSE"
    Call ${UN}CheckMovable
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

!macro GuideAsides UN SUB NAME
  !insertmacro RemoveAsidesIn "${UN}" "$INSTDIR${SUB}" "${NAME}"
!macroend

; Removes HKEY_USERS\KEY in both views (the second finds nothing where the key is one for both).
!macro RemoveUsersCopy KEY
  !insertmacro RemoveUsersCopyIn 32 "${KEY}"
  !insertmacro RemoveUsersCopyIn 64 "${KEY}"
!macroend

!macro RemoveUsersCopyIn VIEW KEY
  SetRegView ${VIEW}
  ClearErrors
  EnumRegKey $R5 HKU "${KEY}" 0
  ${IfNot} ${Errors}
    DeleteRegKey HKU "${KEY}"
    ClearErrors
    EnumRegKey $R5 HKU "${KEY}" 0
    ${If} ${Errors}
      DetailPrint "Removed a stale per-user registration: HKEY_USERS\${KEY} (${VIEW}-bit view)"
    ${Else}
      DetailPrint "Could not remove a stale per-user registration: HKEY_USERS\${KEY} (${VIEW}-bit view)"
      StrCpy $Unfinished "$UnfinishedA stale per-user registration, HKEY_USERS\${KEY} (${VIEW}-bit view), could not be removed; that user's MaxIm DL may not find this version.$\r$\n"
    ${EndIf}
  ${EndIf}
!macroend

!macro RemoveAsidesIn UN DIR NAME
  FindFirst $R3 $R2 "${DIR}\${NAME}.old-*"
  ${DoWhile} $R2 != ""
    StrCpy $R0 "${DIR}\$R2"
    Delete $R0
    ${If} ${FileExists} $R0
      Delete /REBOOTOK $R0
      StrCpy $InUse "$InUse$R0$\r$\n"
      DetailPrint "$R0 is still in use; Windows deletes it when it restarts"
    ${EndIf}
    FindNext $R3 $R2
  ${Loop}
  FindClose $R3
!macroend

; Reads the record of a run of setup that was cut off (see WriteRecord) into $Aside64 and
; $Aside32; sets the error flag when there is none.
!macro ReadRecord
  ClearErrors
  ReadRegStr $Aside64 HKLM "${UNINSTALL_KEY}" "${RECORD_ASIDE64}"
  ReadRegStr $Aside32 HKLM "${UNINSTALL_KEY}" "${RECORD_ASIDE32}"
!macroend

; Takes away what a run of setup wrote under the DLL's own name: whatever stands there once the
; installed DLL was set aside (ASIDE exists), or when there was none (ASIDE ""). Its
; registration goes first, whatever regsvr32 says: a run cut off may have left it half written
; and never registered.
!macro TakeAwayRunsDll UN BITS DLL ASIDE
  ${If} ${ASIDE} == ""
  ${OrIf} ${FileExists} "${ASIDE}"
    ${If} ${FileExists} "${DLL}"
      !insertmacro Regsvr32 ${BITS} "/u /s" "${DLL}"
      StrCpy $R0 "${DLL}"
      Call ${UN}RemoveFile
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

; Chooses the names the installed DLLs are to be set aside to, before anything changes.
Function PlanChange
  StrCpy $Aside64 ""
  ${If} ${RunningX64}
    StrCpy $R0 "$INSTDIR\Starwright.dll"
    Call AsideName
    StrCpy $Aside64 $R1
  ${EndIf}
  StrCpy $R0 "$Dir32\Starwright.dll"
  Call AsideName
  StrCpy $Aside32 $R1
FunctionEnd

; The record of this run, in its "Apps & features" entry from before the first change until the
; change is done: a run cut off in between (power lost, setup ended) leaves it, and the next
; setup (Recover) or uninstaller (un.Recover) takes that run back or finishes it from there. An
; earlier version's uninstaller, which knows nothing of it, removes it with the entry. Windows
; writes the registry to disk lazily: the record is written through before any file is renamed.
Function WriteRecord
  ClearErrors
  WriteRegStr HKLM "${UNINSTALL_KEY}" "${RECORD_ASIDE64}" $Aside64
  WriteRegStr HKLM "${UNINSTALL_KEY}" "${RECORD_ASIDE32}" $Aside32
  ${If} ${Errors}
    StrCpy $Failure "Setup could not write to the registry"
    Call Fail
  ${EndIf}
  ; KEY_QUERY_VALUE | KEY_WOW64_64KEY (which 32-bit Windows ignores)
  System::Call 'advapi32::RegOpenKeyExW(p 0x80000002, w "${UNINSTALL_KEY}", i 0, i 0x101, *p .r1) i .r0'
  ${If} $0 == 0
    System::Call 'advapi32::RegFlushKey(p r1)'
    System::Call 'advapi32::RegCloseKey(p r1)'
  ${EndIf}
  StrCpy $Stage "changing"
FunctionEnd

Function DeleteRecord
  DeleteRegValue HKLM "${UNINSTALL_KEY}" "${RECORD_ASIDE64}"
  DeleteRegValue HKLM "${UNINSTALL_KEY}" "${RECORD_ASIDE32}"
  ; The entry of a first installation that was not done held nothing else.
  DeleteRegKey /ifempty HKLM "${UNINSTALL_KEY}"
FunctionEnd

; Puts the installed DLL of the given bitness back under its own name (when it was set aside)
; and registers it again.
!macro PutBackDll BITS DLL ASIDE
  ${If} ${ASIDE} != ""
    ClearErrors
    ${If} ${FileExists} "${ASIDE}"
      Rename "${ASIDE}" "${DLL}"
    ${EndIf}
    ${If} ${Errors}
      StrCpy $Problems "$Problems${DLL} is still named ${ASIDE}$\r$\n"
    ${Else}
      !insertmacro RegisterAgain ${BITS} "${DLL}"
    ${EndIf}
  ${EndIf}
!macroend

; Puts the installed DLLs back as they were before this run, or before the run whose record was
; read: the run's DLLs unregistered and removed (both before either goes back, so that the last
; one unregistered takes the run's type library with it), then the installed ones back and
; registered again.
Function PutBackDlls
  ${If} ${RunningX64}
    !insertmacro TakeAwayRunsDll "" 64 "$INSTDIR\Starwright.dll" $Aside64
  ${EndIf}
  !insertmacro TakeAwayRunsDll "" 32 "$Dir32\Starwright.dll" $Aside32
  !insertmacro PutBackDll 32 "$Dir32\Starwright.dll" $Aside32
  ${If} ${RunningX64}
    !insertmacro PutBackDll 64 "$INSTDIR\Starwright.dll" $Aside64
  ${EndIf}
FunctionEnd

; The installed documents, kept in $PLUGINSDIR before this run writes over them.
!macro SaveDocument NAME
  ${If} ${FileExists} "$INSTDIR\${NAME}"
    ClearErrors
    CopyFiles /SILENT "$INSTDIR\${NAME}" "$PLUGINSDIR\installed"
    ${If} ${Errors}
      StrCpy $Failure "Setup could not keep a copy of $INSTDIR\${NAME}"
      Call Fail
    ${EndIf}
  ${EndIf}
!macroend

!macro PutBackDocument NAME
  ${If} ${FileExists} "$PLUGINSDIR\installed\${NAME}"
    ClearErrors
    CopyFiles /SILENT "$PLUGINSDIR\installed\${NAME}" "$INSTDIR"
    ${If} ${Errors}
      StrCpy $Problems "$Problems$INSTDIR\${NAME} could not be put back$\r$\n"
    ${EndIf}
  ${Else}
    StrCpy $R0 "$INSTDIR\${NAME}"
    Call RemoveFile
  ${EndIf}
!macroend

; The same for a file of the guide, in its folder SUB ("" or "\docs") under $INSTDIR.
!macro SaveGuideFile UN SUB NAME
  ${If} ${FileExists} "$INSTDIR${SUB}\${NAME}"
    ClearErrors
    CreateDirectory "$PLUGINSDIR\installed${SUB}"
    CopyFiles /SILENT "$INSTDIR${SUB}\${NAME}" "$PLUGINSDIR\installed${SUB}"
    ${If} ${Errors}
      StrCpy $Failure "Setup could not keep a copy of $INSTDIR${SUB}\${NAME}"
      Call Fail
    ${EndIf}
  ${EndIf}
!macroend

!macro PutBackGuideFile UN SUB NAME
  ${If} ${FileExists} "$PLUGINSDIR\installed${SUB}\${NAME}"
    ClearErrors
    CopyFiles /SILENT "$PLUGINSDIR\installed${SUB}\${NAME}" "$INSTDIR${SUB}"
    ${If} ${Errors}
      StrCpy $Problems "$Problems$INSTDIR${SUB}\${NAME} could not be put back$\r$\n"
    ${EndIf}
  ${Else}
    StrCpy $R0 "$INSTDIR${SUB}\${NAME}"
    Call RemoveFile
  ${EndIf}
!macroend

!macro WriteGuideFile UN SUB NAME
  !insertmacro WriteFile "$INSTDIR${SUB}" "${NAME}" "${GUIDE}${SUB}\${NAME}"
!macroend

; Removes the guide's folder SUB under $INSTDIR when it is empty.
!macro RemoveGuideFolder UN SUB
  RMDir "$INSTDIR${SUB}"
!macroend

; Takes this run's files and registrations back and puts the installed version back as it was:
; its files under their own names, registered again. Only then do the record and the files set
; aside go: what could not be put back keeps them for the next run.
Function RollBack
  DetailPrint "Putting back what was there before"
  Call PutBackDlls
  ${If} $DocumentsWritten == 1
    !insertmacro PutBackDocument README.md
    !insertmacro PutBackDocument LICENSE
    !insertmacro GuideFiles PutBackGuideFile ""
  ${EndIf}
  ${If} $ShortcutExisted != 1
    Delete "${SHORTCUT}"
  ${EndIf}
  StrCpy $Stage "rolled back"
  ${If} $Problems == ""
    Call DeleteRecord
    Call RemoveAsides
  ${EndIf}
  ; Not a folder this program is in.
  SetOutPath $TEMP
  !insertmacro GuideFolders RemoveGuideFolder ""
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
  ${ElseIf} $Aside32 != ""
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
  ${If} $Stage == "changing"
    Call RollBack
    ${If} $Problems != ""
      SetErrorLevel ${EXIT_NOT_PUT_BACK}
    ${Else}
      SetErrorLevel ${EXIT_NOT_REGISTERED}
    ${EndIf}
  ${EndIf}
FunctionEnd

; A run of setup cut off before it was done left its record: its set-aside DLLs go back under
; their own names in place of what it had written, registered again, as they were before it.
; This run then replaces them as usual. What cannot be put back stops this run, and the record
; stays for the next one.
Function Recover
  !insertmacro ReadRecord
  ${If} ${Errors}
    Return
  ${EndIf}
  DetailPrint "An earlier run of setup was cut off; putting back what it was replacing"
  Call PutBackDlls
  ${If} $Problems != ""
    MessageBox MB_OK|MB_ICONSTOP "An earlier run of setup was cut off, and setup could not put back what it was replacing:$\r$\n$Problems" /SD IDOK
    SetErrorLevel ${EXIT_NOT_PUT_BACK}
    Abort "${PRODUCT} ${VERSION} was not installed."
  ${EndIf}
  Call DeleteRecord
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
  ${OrIf} $R7 == "${SHORTCUT}"
  ${OrIf} $R7 == "$INSTDIR"
  ${OrIf} $R7 == "$Dir32"
    StrCpy ${RESULT} 1
  ${EndIf}
  !insertmacro GuideFiles IfGuideFilePath ${RESULT}
  !insertmacro GuideFolders IfGuideFolderPath ${RESULT}
!macroend

!macro IfGuideFilePath RESULT SUB NAME
  ${If} $R7 == "$INSTDIR${SUB}\${NAME}"
    StrCpy ${RESULT} 1
  ${EndIf}
!macroend

!macro IfGuideFolderPath RESULT SUB
  ${If} $R7 == "$INSTDIR${SUB}"
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

; Adds to $Unfinished each operation still in PendingFileRenameOperations that would delete or
; replace a file or folder this installation has written, at the next restart: one that
; ForgetPendingOperations could not drop (the list could not be read or written, or kept
; changing). A list that cannot be read counts as one. Uses $0-$9 and $R0-$R9.
Function CheckPendingOperations
  System::Call 'advapi32::RegOpenKeyExW(p 0x80000002, w "SYSTEM\CurrentControlSet\Control\Session Manager", i 0, i 1, *p .r1) i .r0'
  ${If} $0 != 0
    StrCpy $Unfinished "$UnfinishedSetup could not read Windows' list of operations at the next restart (error $0), which may delete a file it has written.$\r$\n"
    Return
  ${EndIf}
  StrCpy $4 0
  System::Call 'advapi32::RegQueryValueExW(p r1, w "PendingFileRenameOperations", p 0, *i .R0, p 0, *i 0 r3) i .r0'
  ${If} $0 = 0
  ${AndIf} $R0 = 7 ; REG_MULTI_SZ
    ; Zeroed, with room for two more null characters: every string read ends.
    IntOp $R0 $3 + 4
    System::Call 'kernel32::GlobalAlloc(i 0x40, i R0) p .r4'
    System::Call 'advapi32::RegQueryValueExW(p r1, w "PendingFileRenameOperations", p 0, p 0, p r4, *i r3 r3) i .r0'
  ${EndIf}
  ${If} $0 = 2 ; ERROR_FILE_NOT_FOUND: nothing at all is pending
  ${ElseIf} $0 != 0
  ${OrIf} $4 = 0
    StrCpy $Unfinished "$UnfinishedSetup could not read Windows' list of operations at the next restart (error $0), which may delete a file it has written.$\r$\n"
  ${Else}
    StrCpy $6 $4 ; the next pair to read
    IntPtrOp $7 $4 + $3 ; the end of what was read
    ${Do}
      System::Call 'kernel32::lstrlenW(p r6) i .R0'
      ${If} $R0 == 0
        ${Break}
      ${EndIf}
      IntOp $R1 $R0 + 1
      IntOp $R1 $R1 * 2
      IntPtrOp $R1 $6 + $R1 ; the pair's second path
      ${If} $R1 Z>= $7
        ${Break}
      ${EndIf}
      System::Call 'kernel32::lstrlenW(p R1) i .R2'
      System::Call 'kernel32::lstrcpynW(w .R4, p R1, i ${NSIS_MAX_STRLEN})'
      StrCpy $R6 0
      !insertmacro IfOurPendingPath $R4 $R6
      System::Call 'kernel32::lstrcpynW(w .R4, p r6, i ${NSIS_MAX_STRLEN})'
      !insertmacro IfOurPendingPath $R4 $R6 ; the first path last: $R7 is its long form
      ${If} $R6 = 1
        StrCpy $Unfinished "$UnfinishedWindows is still to delete or replace $R7 when it restarts, and setup could not stop that.$\r$\n"
      ${EndIf}
      IntOp $R3 $R0 + $R2
      IntOp $R3 $R3 + 2
      IntOp $R3 $R3 * 2 ; the pair's bytes
      IntPtrOp $6 $6 + $R3
    ${Loop}
  ${EndIf}
  ${If} $4 != 0
    System::Call 'kernel32::GlobalFree(p r4)'
  ${EndIf}
  System::Call 'advapi32::RegCloseKey(p r1)'
FunctionEnd

; Makes this version the installed one: its uninstaller and "Apps & features" entry, then the
; record gone and the set-aside files deleted (a file still loaded at the next restart).
Function Commit
  DetailPrint "Adding ${PRODUCT} to the installed programs"
  ClearErrors
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  ${If} ${Errors}
    StrCpy $Failure "Setup could not write $INSTDIR\${UNINSTALLER}"
    Call Fail
  ${EndIf}
  StrCpy $Stage "done"
  Call ForgetPendingOperations

  ; Written over value by value: the entry is never missing, wherever a run is cut off.
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
  Call DeleteRecord
  Call RemoveAsides
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
    MessageBox MB_OK|MB_ICONINFORMATION "${PRODUCT} ${VERSION} is installed. A program (is MaxIm DL open?) still has an earlier version loaded and goes on using it until it is restarted.$\r$\n$\r$\nWindows deletes the earlier files when it restarts:$\r$\n$InUse" /SD IDOK
    SetErrorLevel ${EXIT_RESTART}
  ${EndIf}

  ; Installed means installed for every user and after the next restart too.
  Call RemoveUsersCopies
  Call CheckPendingOperations
  ${If} $Unfinished != ""
    DetailPrint "${PRODUCT} ${VERSION} is installed, but not as it must be"
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} ${VERSION} is installed, but not as it must be:$\r$\n$\r$\n$Unfinished$\r$\nPlease run setup again now; if Windows restarts first, run it again after the restart." /SD IDOK
    SetErrorLevel ${EXIT_NOT_PUT_BACK}
    Return
  ${EndIf}
  DetailPrint "${PRODUCT} ${VERSION} is installed"
FunctionEnd

; Opens the guide from the last page. Setup runs with an administrator's rights; Explorer, which
; runs as the user, opens the page in the user's own browser, not in one with those rights.
Function OpenGuide
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\guide.html"'
FunctionEnd

; Renames the installed DLL to its recorded name aside, unless one before it was blocked.
!macro SetAsideOne FILE ASIDE
  ${If} $Blocked == ""
  ${AndIf} ${ASIDE} != ""
    ClearErrors
    Rename "${FILE}" "${ASIDE}"
    ${If} ${Errors}
      StrCpy $Blocked "${FILE}"
    ${EndIf}
  ${EndIf}
!macroend

; One change that completes or is taken back: the installed version (if any) is unregistered
; and set aside, this one written and registered, and only then the set-aside one deleted. What
; is set aside is recorded before the first change (see WriteRecord).
Section "${PRODUCT}"
  ReadRegStr $Previous HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  ${If} ${FileExists} "${SHORTCUT}"
    StrCpy $ShortcutExisted 1
  ${EndIf}
  Call WaitUntilMovable
  Call Recover
  Call PlanChange
  Call WriteRecord
  ; The installed DLLs unregister what they registered, whatever version they are.
  ${If} $Aside64 != ""
    DetailPrint "Unregistering the installed 64-bit plug-in"
    !insertmacro Regsvr32 64 "/u /s" "$INSTDIR\Starwright.dll"
  ${EndIf}
  ${If} $Aside32 != ""
    DetailPrint "Unregistering the installed 32-bit plug-in"
    !insertmacro Regsvr32 32 "/u /s" "$Dir32\Starwright.dll"
  ${EndIf}
  StrCpy $Blocked ""
  !insertmacro SetAsideOne "$INSTDIR\Starwright.dll" $Aside64
  !insertmacro SetAsideOne "$Dir32\Starwright.dll" $Aside32
  ${If} $Blocked != ""
    StrCpy $Failure "$Blocked is in use by another program"
    Call Fail
  ${EndIf}

  InitPluginsDir
  CreateDirectory "$PLUGINSDIR\installed"
  !insertmacro SaveDocument README.md
  !insertmacro SaveDocument LICENSE
  !insertmacro GuideFiles SaveGuideFile ""
  StrCpy $DocumentsWritten 1
  SetOverwrite try
  DetailPrint "Copying the 32-bit plug-in to $Dir32"
  !insertmacro WriteFile "$Dir32" Starwright.dll "${DLL32}"
  ${If} ${RunningX64}
    DetailPrint "Copying the 64-bit plug-in to $INSTDIR"
    !insertmacro WriteFile "$INSTDIR" Starwright.dll "${DLL64}"
  ${EndIf}
  !insertmacro WriteFile "$INSTDIR" README.md "${README}"
  !insertmacro WriteFile "$INSTDIR" LICENSE "${LICENSE}"
  !insertmacro GuideFiles WriteGuideFile ""
  SetOverwrite on
  ; The guide in the Start menu: a page the user's browser opens, from the installation's folder.
  SetOutPath "$INSTDIR"
  ClearErrors
  CreateShortCut "${SHORTCUT}" "$INSTDIR\guide.html"
  ${If} ${Errors}
    StrCpy $Failure "Setup could not write ${SHORTCUT}"
    Call Fail
  ${EndIf}

  !insertmacro Register 32 "$Dir32\Starwright.dll"
  ${If} ${RunningX64}
    !insertmacro Register 64 "$INSTDIR\Starwright.dll"
  ${EndIf}
  Call Commit
SectionEnd

; --- Uninstaller -------------------------------------------------------------------------

!macro RemoveGuideFile UN SUB NAME
  StrCpy $R0 "$INSTDIR${SUB}\${NAME}"
  Call ${UN}RemoveFile
!macroend

; A folder of the guide still there holds a file that Windows deletes at the next restart.
!macro RemoveGuideFolderAtRestart UN SUB
  RMDir "$INSTDIR${SUB}"
  ${If} ${FileExists} "$INSTDIR${SUB}\*.*"
    RMDir /REBOOTOK "$INSTDIR${SUB}"
  ${EndIf}
!macroend

!insertmacro FileFunctions "un."

; $INSTDIR is the uninstaller's own folder.
Function un.onInit
  !insertmacro RequireAdmin
  !insertmacro ChooseFolder32
FunctionEnd

; A run of setup cut off before it was done left its record: what it wrote under the DLLs' own
; names goes first, registration and file; the files it had set aside go with the other
; set-aside files, the record with the entry.
Function un.Recover
  !insertmacro ReadRecord
  ${If} ${Errors}
    Return
  ${EndIf}
  DetailPrint "A run of setup was cut off; removing what it had written"
  ${If} ${RunningX64}
    !insertmacro TakeAwayRunsDll "un." 64 "$INSTDIR\Starwright.dll" $Aside64
  ${EndIf}
  !insertmacro TakeAwayRunsDll "un." 32 "$Dir32\Starwright.dll" $Aside32
FunctionEnd

; Unregisters the DLL of the given bitness if it is there; a failure is reported, and the files
; go all the same.
; The class key of the given view, in the machine's classes, when it names this installation's
; DLL of that view or a file that is not there (left by a DLL that could not unregister itself).
!macro RemoveClassKey VIEW DLL
  SetRegView ${VIEW}
  ; The 64-bit class's file is looked for where the 64-bit loader finds it, not in SysWOW64.
  !if ${VIEW} == 64
    ${DisableX64FSRedirection}
  !endif
  ClearErrors
  EnumRegKey $R1 HKLM "Software\Classes\${USER_KEY_CLASS}" 0
  ${IfNot} ${Errors}
    ReadRegStr $R1 HKLM "Software\Classes\${USER_KEY_CLASS}\InprocServer32" ""
    ${If} $R1 == "${DLL}"
    ${OrIfNot} ${FileExists} "$R1"
      DetailPrint "Removing the ${VIEW}-bit registration of $R1"
      DeleteRegKey HKLM "Software\Classes\${USER_KEY_CLASS}"
    ${EndIf}
  ${EndIf}
  !if ${VIEW} == 64
    ${EnableX64FSRedirection}
  !endif
!macroend

; Counts in $R0 the class keys left in the given view.
!macro CountClassKey VIEW
  SetRegView ${VIEW}
  ClearErrors
  EnumRegKey $R1 HKLM "Software\Classes\${USER_KEY_CLASS}" 0
  ${IfNot} ${Errors}
    IntOp $R0 $R0 + 1
  ${EndIf}
!macroend

; The type library's entry of a bitness ("win32", "win64") when it names this installation's DLL.
!macro RemoveTypeLibEntry SYSKIND DLL
  ReadRegStr $R1 HKLM "Software\Classes\${USER_KEY_TYPELIB}\${TYPELIB_VERSION}\0\${SYSKIND}" ""
  ${If} $R1 == "${DLL}"
    DeleteRegKey HKLM "Software\Classes\${USER_KEY_TYPELIB}\${TYPELIB_VERSION}\0\${SYSKIND}"
  ${EndIf}
!macroend

; After the DLLs have unregistered themselves: every key their registration writes goes whatever
; regsvr32 could do. A DLL whose file is gone (deleted, quarantined by a virus scanner) cannot
; unregister itself, and while its class key is there the other DLL keeps what both share for
; it. A registration of another installation whose file is there stays, and with it what both
; bitnesses share (the ProgID, the type library, the interface key in both views).
Function un.RemoveRegistration
  ${If} ${RunningX64}
    !insertmacro RemoveClassKey 64 "$INSTDIR\Starwright.dll"
  ${EndIf}
  !insertmacro RemoveClassKey 32 "$Dir32\Starwright.dll"
  StrCpy $R0 0
  ${If} ${RunningX64}
    !insertmacro CountClassKey 64
  ${EndIf}
  !insertmacro CountClassKey 32
  ; The keys both views share are reached in the 64-bit one (which 32-bit Windows ignores).
  SetRegView 64
  ${If} $R0 = 0
    DeleteRegKey HKLM "Software\Classes\${USER_KEY_PROGID}"
    DeleteRegKey HKLM "Software\Classes\${USER_KEY_TYPELIB}\${TYPELIB_VERSION}"
    DeleteRegKey /ifempty HKLM "Software\Classes\${USER_KEY_TYPELIB}"
    DeleteRegKey HKLM "Software\Classes\${USER_KEY_INTERFACE}"
    SetRegView 32
    DeleteRegKey HKLM "Software\Classes\${USER_KEY_INTERFACE}"
  ${Else}
    !insertmacro RemoveTypeLibEntry win32 "$Dir32\Starwright.dll"
    ${If} ${RunningX64}
      !insertmacro RemoveTypeLibEntry win64 "$INSTDIR\Starwright.dll"
    ${EndIf}
  ${EndIf}
  !insertmacro DefaultRegView
FunctionEnd

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
  Call un.Recover
  ${If} ${RunningX64}
    !insertmacro Unregister 64 "$INSTDIR\Starwright.dll"
  ${EndIf}
  !insertmacro Unregister 32 "$Dir32\Starwright.dll"
  Call un.RemoveRegistration
  Call un.RemoveUsersCopies
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
  !insertmacro GuideFiles RemoveGuideFile "un."
  Delete "${SHORTCUT}"
  Call un.RemoveAsides
  ; Run in place (the quiet uninstall command runs it so), this program cannot delete itself:
  ; NSIS keeps its own file open. Windows deletes it, and then the folder, at the next restart.
  Delete "$INSTDIR\${UNINSTALLER}"
  ${If} ${FileExists} "$INSTDIR\${UNINSTALLER}"
    Delete /REBOOTOK "$INSTDIR\${UNINSTALLER}"
  ${EndIf}
  SetOutPath $TEMP
  !insertmacro GuideFolders RemoveGuideFolderAtRestart "un."
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
  StrCpy $Problems "$Problems$Unfinished"
  ${If} $Problems != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "${PRODUCT} is unregistered, but not everything could be removed:$\r$\n$Problems" /SD IDOK
    SetErrorLevel ${EXIT_NOT_PUT_BACK}
  ${EndIf}
SectionEnd
