; Setup program of Kelvane: installs, upgrades and removes the tray program and its companions.
;
; makensis defines (installer/CMakeLists.txt passes them):
;   BITS          32 (x86, every Windows from XP on) or 64 (amd64); Ignix.dll must match it
;   PROGRAM_DIR   folder of Lumora.exe
;   TOOLS_DIR     folder of Ignix.dll, SetupGuard.dll, Quellon.exe, kelvanectl.exe and kelvanectlw.exe
;   DEFAULTS_DIR  folder of CFG1.DEF to CFG8.DEF
;   VERSION       version shown in the uninstall entry and the setup's version information
;   COPYRIGHT     the copyright line of the version information
;   ICON_FILE     the program's own icon (step 1's badge), for the setup and the uninstaller
;   OUT_FILE      the setup program to write

Unicode true
!if ${BITS} == 64
Target amd64-unicode
!else
Target x86-unicode
!endif

!include LogicLib.nsh
!include FileFunc.nsh
!include MUI2.nsh

!define PRODUCT "Kelvane"
!define PUBLISHER "Vosk"
!define PATH_KEY "SOFTWARE\Vosk\Kelvane"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvane"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; How long the tray program gets to hand the power scheme and the screen saver back and end.
!define STOP_WAIT_MS 10000
; The files an upgrade replaces besides Lumora.exe, as SetupGuard's GuardFilesInUse takes them.
!define OTHER_FILES "CFG1.DEF|CFG2.DEF|CFG3.DEF|CFG4.DEF|CFG5.DEF|CFG6.DEF|CFG7.DEF|CFG8.DEF|Quellon.exe|QUELLON.INI|kelvanectl.exe|kelvanectlw.exe|Uninstall.exe"

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
!if ${BITS} == 64
InstallDir "$PROGRAMFILES64\Kelvane"
!else
InstallDir "$PROGRAMFILES\Kelvane"
!endif
; An upgrade goes into the folder of the installed copy.
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
BrandingText "Kelvane Setup"
; Sharp text on screens above 96 dpi, as the programs it installs have.
ManifestDPIAware true
ShowInstDetails show
ShowUninstDetails show
AllowSkipFiles off

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${COPYRIGHT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIFileVersion "${VERSION}.0"

!define MUI_ICON "${ICON_FILE}"
!define MUI_UNICON "${ICON_FILE}"
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
; The details stay up until the user goes on, so a failure's lines can be read.
!define MUI_FINISHPAGE_NOAUTOCLOSE
!insertmacro MUI_PAGE_INSTFILES
; The start the section makes in a silent run; here the user may leave it out.
!define MUI_PAGE_CUSTOMFUNCTION_PRE FinishPagePre
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Kelvane"
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_UNFINISHPAGE_NOAUTOCLOSE
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH
!insertmacro MUI_LANGUAGE "English"

; ---- Shared by the setup and the uninstaller ----

; 1 on Windows Vista and later (NT 6.0 and up), 0 on XP and before.
Var IsNt6

; Also notes the Windows it runs on, by the same test the tray program makes (GetVersion reports
; what GetVersionExA does), so both agree on where the user's files live.
!macro SelectView
!if ${BITS} == 64
    SetRegView 64
!endif
    StrCpy $IsNt6 0
    System::Call 'kernel32::GetVersion() i .R0'
    IntOp $R1 $R0 & 0x80000000
    IntOp $R0 $R0 & 0xFF
    ${If} $R1 == 0
    ${AndIf} $R0 >= 6
        StrCpy $IsNt6 1
    ${EndIf}
!macroend

; What the setup's own checks (SetupGuard.dll) say of the account it runs as: 0 no administrator (or
; not elevated), 1 an elevated administrator, 2 SYSTEM.
Var Account

; Calls EXPORT of SetupGuard.dll with ARGS (System plug-in notation), its int result in $R0, or
; DEFAULT when the library cannot be used. It is freed again so the temporary folder can go.
!macro Guard EXPORT ARGS DEFAULT
    StrCpy $R0 ${DEFAULT}
    System::Call 'kernel32::LoadLibrary(t "$PLUGINSDIR\SetupGuard.dll") p .R7'
    ${If} $R7 != 0
        System::Call 'kernel32::GetProcAddress(p R7, m "${EXPORT}") p .R8'
        ${If} $R8 != 0
            System::Call '::$R8${ARGS} i .R0'
        ${EndIf}
        System::Call 'kernel32::FreeLibrary(p R7)'
    ${EndIf}
!macroend

; Both change what only administrators may change, and a run without their rights would stop halfway:
; a standard user, or an administrator whose elevation was not asked for, is sent back at once.
!macro CheckAccount
    InitPluginsDir
    File "/oname=$PLUGINSDIR\SetupGuard.dll" "${TOOLS_DIR}/SetupGuard.dll"
    !insertmacro Guard GuardAccount "()" -1
    StrCpy $Account $R0
    ${If} $Account == -1
        MessageBox MB_OK|MB_ICONSTOP|MB_TOPMOST \
            "The setup cannot use its library SetupGuard.dll.$\r$\n$\r$\nNothing was changed." /SD IDOK
        SetErrorLevel 2
        Quit
    ${ElseIf} $Account == 0
        MessageBox MB_OK|MB_ICONSTOP|MB_TOPMOST \
            "Kelvane's setup must run as an administrator: it changes the programs and settings of every user.$\r$\n$\r$\nStart it again with $\"Run as administrator$\". Nothing was changed." \
            /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
!macroend

; Outside Program Files a folder's access list is the setup's own business (see OpenFolder). $R0 is 1
; when $INSTDIR lies in Program Files, 0 otherwise.
!macro InProgramFilesFunction UN
Function ${UN}InProgramFiles
    System::Call 'kernel32::GetFullPathName(t "$INSTDIR\", i ${NSIS_MAX_STRLEN}, t .R1, p 0) i .R2'
    StrCpy $R0 0
    ${ForEach} $R3 1 2 + 1
        ${If} $R3 == 1
            StrCpy $R4 "$PROGRAMFILES32\"
        ${Else}
            StrCpy $R4 "$PROGRAMFILES64\"
        ${EndIf}
        StrLen $R5 $R4
        StrCpy $R6 $R1 $R5
        ${If} $R6 == $R4 ; NSIS compares without case, as the file system does
            StrCpy $R0 1
        ${EndIf}
    ${Next}
FunctionEnd
!macroend
!insertmacro InProgramFilesFunction ""
!insertmacro InProgramFilesFunction "un."

; Calls an export of Ignix.dll, unpacked into the plug-ins folder; its result in $R9 ("" when the
; library or the export could not be loaded). The library is freed again so the folder can go.
!macro CallIgnix EXPORT
    StrCpy $R9 ""
    System::Call 'kernel32::LoadLibrary(t "$PLUGINSDIR\Ignix.dll") p .R7'
    ${If} $R7 != 0
        System::Call 'kernel32::GetProcAddress(p R7, m "${EXPORT}") p .R8'
        ${If} $R8 != 0
            System::Call '::$R8() i .R9'
        ${EndIf}
        System::Call 'kernel32::FreeLibrary(p R7)'
    ${EndIf}
!macroend

; Unpacks Ignix.dll and checks that both exports load, before anything is changed: a setup that could
; not stop or start the program must not replace it. $R0 is 1 when they load, 0 after a message.
!macro LoadIgnixFunction UN
Function ${UN}LoadIgnix
    StrCpy $R0 0
    InitPluginsDir
    File "/oname=$PLUGINSDIR\Ignix.dll" "${TOOLS_DIR}/Ignix.dll"
    System::Call 'kernel32::LoadLibrary(t "$PLUGINSDIR\Ignix.dll") p .R7 ?e'
    Pop $R6
    ${If} $R7 == 0
        StrCpy $R5 "it could not be loaded (error $R6)"
    ${Else}
        StrCpy $R0 1
        StrCpy $R5 ""
        ${ForEach} $R4 1 2 + 1
            ${If} $R4 == 1
                StrCpy $R3 "StopLumora"
            ${Else}
                StrCpy $R3 "RunLumora"
            ${EndIf}
            System::Call 'kernel32::GetProcAddress(p R7, m R3) p .R8'
            ${If} $R8 == 0
                StrCpy $R0 0
                StrCpy $R5 "its export $R3 is missing"
            ${EndIf}
        ${Next}
        System::Call 'kernel32::FreeLibrary(p R7)'
    ${EndIf}
    ${If} $R0 == 0
        MessageBox MB_OK|MB_ICONSTOP|MB_TOPMOST \
            "The setup cannot use its library Ignix.dll: $R5.$\r$\n$\r$\nNothing was changed." \
            /SD IDOK
        DetailPrint "Ignix.dll: $R5; nothing was changed."
    ${EndIf}
FunctionEnd
!macroend
!insertmacro LoadIgnixFunction ""
!insertmacro LoadIgnixFunction "un."

; 1 once StopProgram has ended a tray program: a setup that then stops starts it again.
Var Stopped

; Asks a running tray program to close through StopLumora and waits until its process has ended,
; so its files can be replaced and the user's power scheme is back. $R0 is 1 when it is still
; running after the wait and the user did not retry (silent runs never retry), 0 otherwise.
!macro StopProgramFunction UN
Function ${UN}StopProgram
    StrCpy $R0 0
  again:
    FindWindow $R1 "LUMORA" "Lumora"
    ${If} $R1 == 0
        Return
    ${EndIf}
    DetailPrint "Closing the running Kelvane tray program"
    ; The process is opened before the close is asked for: once the window has gone its id cannot be
    ; read, and the process may still be handing the power scheme back or holding its files.
    StrCpy $R2 0
    System::Call 'user32::GetWindowThreadProcessId(p R1, *i .R2) i'
    ${If} $R2 == 0
        Goto again ; the window went meanwhile
    ${EndIf}
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i R2) p .R3'
    ; Without a handle there is no telling when the process ends: it counts as still running.
    StrCpy $R4 1
    ${If} $R3 != 0
        !insertmacro CallIgnix StopLumora
        System::Call 'kernel32::WaitForSingleObject(p R3, i ${STOP_WAIT_MS}) i .R4'
        System::Call 'kernel32::CloseHandle(p R3)'
    ${EndIf}
    ${If} $R4 == 0
        StrCpy $Stopped 1
        Goto again
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION|MB_TOPMOST \
        "The Kelvane tray program (Lumora) is still running and did not close.$\r$\n$\r$\nEnd it with Exit in its tray menu, then press Retry. Cancel leaves everything as it is." \
        /SD IDCANCEL IDRETRY again
    DetailPrint "The Kelvane tray program is still running; nothing was changed."
    StrCpy $R0 1
FunctionEnd
!macroend
!insertmacro StopProgramFunction ""
!insertmacro StopProgramFunction "un."

; ---- Setup ----

; 1 once the section has run to its end; a setup that stopped has no finish page and starts nothing.
Var Installed

Function FinishPagePre
    ${If} $Installed != 1
        Abort
    ${EndIf}
FunctionEnd

; The folder /D= asked for. NSIS puts a folder it cannot use (a file's path, a drive that does not
; exist) aside without a word and takes the installed copy's or the default one instead.
Var AskedFolder

Function .onInit
    !insertmacro SelectView
    !insertmacro CheckAccount
    ; NSIS has cut /D= from $CMDLINE; Windows keeps the whole line.
    System::Call 'kernel32::GetCommandLine() t .R1'
    ClearErrors
    ${GetOptions} $R1 "/D=" $AskedFolder
    ${If} ${Errors}
        StrCpy $AskedFolder ""
    ${EndIf}
    ; NSIS drops a closing backslash from the folder it takes.
    StrCpy $R1 $AskedFolder 1 -1
    ${If} $R1 == "\"
        StrCpy $AskedFolder $AskedFolder -1
    ${EndIf}
FunctionEnd

; The folder as OpenFolder found it: its handle, held open until the files are in so it cannot be
; renamed, removed or swapped meanwhile; how many folders were made for it; its owner then; whether
; it lies outside Program Files; and the installed copy's folder, which an upgrade may take as it is.
Var Held
Var Owner
Var Made
Var Outside
Var Recorded

; Says why $INSTDIR cannot be used, from SetupGuard's code in $R1.
Function FolderRefused
    ${Select} $R1
    ${Case} 1
        StrCpy $R2 "that folder, or one above it, is a junction or a link: it could later lead somewhere else"
    ${Case} 2
        StrCpy $R2 "that folder exists and is not empty: the setup does not take over a folder that holds other files"
    ${Case} 3
        StrCpy $R2 "that folder exists and does not belong to the administrators: its owner could change the programs in it"
    ${Case} 5
        StrCpy $R2 "that folder was moved or replaced while the setup ran"
    ${CaseElse}
        StrCpy $R2 "files cannot be written there"
    ${EndSelect}
    MessageBox MB_OK|MB_ICONSTOP|MB_TOPMOST \
        "Kelvane cannot be installed in$\r$\n$INSTDIR$\r$\nbecause $R2. Choose another folder." \
        /SD IDOK
    DetailPrint "$INSTDIR cannot be used: $R2; nothing was changed."
FunctionEnd

; Makes $INSTDIR, or accepts it as it is, and holds it open. Outside Program Files a new folder would
; inherit its parent's access list (C:\ lets every user change what is made in it), and a file any
; user could replace would run elevated (Uninstall.exe) or for every user at log-on (a library beside
; Lumora.exe): there it is made with its final list in one step, and an existing one is taken only
; when it is the installed copy's, or empty and the administrators'. $R0 is 1 when usable, 0 after
; a message (and with nothing left made).
Function OpenFolder
    StrCpy $Held 0
    StrCpy $Made 0
    ; Every installed file's path must stay within MAX_PATH (259 characters); the longest name is
    ; "\kelvanectlw.exe". A longer folder would be made and half filled before a file fails.
    StrLen $R1 "$INSTDIR"
    ${If} $R1 > 243
        MessageBox MB_OK|MB_ICONSTOP|MB_TOPMOST \
            "Kelvane cannot be installed in$\r$\n$INSTDIR$\r$\nbecause that path is longer than 243 characters. Choose another folder." \
            /SD IDOK
        DetailPrint "The path $INSTDIR is too long; nothing was changed."
        StrCpy $R0 0
        Return
    ${EndIf}
    Call InProgramFiles
    IntOp $Outside $R0 !
    ReadRegStr $Recorded HKLM "${UNINST_KEY}" "InstallLocation"
    !insertmacro Guard GuardOpenFolder '(w "$INSTDIR", w "$Recorded", i $Outside, *p .R1, *i .R2, w .R3, i ${NSIS_MAX_STRLEN})' 4
    StrCpy $Held $R1
    StrCpy $Made $R2
    StrCpy $Owner $R3
    StrCpy $R1 $R0
    StrCpy $R0 1
    ${If} $R1 != 0
        Call ReleaseFolder
        Call FolderRefused
        StrCpy $R0 0
    ${EndIf}
FunctionEnd

; Lets go of the folder OpenFolder holds and removes the folders it made, if still empty.
Function ReleaseFolder
    ${If} $Held != 0
        !insertmacro Guard GuardRelease '(p $Held, w "$INSTDIR", i $Made)' 0
    ${EndIf}
    StrCpy $Held 0
    StrCpy $Made 0
FunctionEnd

; The page tries the folder as the installation will, and lets it go again.
Function DirectoryLeave
    Call OpenFolder
    StrCpy $R9 $R0
    Call ReleaseFolder
    ${If} $R9 == 0
        Abort ; stays on the page
    ${EndIf}
FunctionEnd

; Windows is to remove or rename files in the folder when it restarts, left by an uninstallation:
; they would take the new installation's files with them. $R0 is 1 after a message, 0 otherwise.
Function CheckPendingRemovals
    !insertmacro Guard GuardPendingRemovals '(w "$INSTDIR")' 0
    ${If} $R0 == 1
        MessageBox MB_OK|MB_ICONSTOP|MB_TOPMOST \
            "Windows is to remove files of an earlier Kelvane in$\r$\n$INSTDIR$\r$\nwhen it restarts, and would remove the new ones with them.$\r$\n$\r$\nRestart Windows, then run the setup again. Nothing was changed." \
            /SD IDOK
        DetailPrint "Files in $INSTDIR are to be removed when Windows restarts; nothing was changed."
    ${EndIf}
FunctionEnd

; A tray program in another user's session (fast user switching, a remote session) cannot be asked to
; close from here, and holds Lumora.exe. $R0 is 1 when one still runs and the user did not retry.
Function CheckProgramElsewhere
  again:
    !insertmacro Guard GuardProgramElsewhere "()" -1
    ${If} $R0 < 0
        StrCpy $R0 0
        Return
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION|MB_TOPMOST \
        "The Kelvane tray program runs in another user's session (session $R0).$\r$\n$\r$\nAsk that user to end it with Exit in its tray menu, or sign them out, then press Retry. Cancel leaves everything as it is." \
        /SD IDCANCEL IDRETRY again
    DetailPrint "The Kelvane tray program runs in session $R0; nothing was changed."
    StrCpy $R0 1
FunctionEnd

; Every file the installation replaces must be free to write: kelvanectl, Quellon or any other
; program holding one would otherwise stop the copy halfway. FILES as GuardFilesInUse takes them; $R0
; is 1 when one is still in use and the user did not retry.
Function CheckFilesInUse
    Exch $R5
  again:
    !insertmacro Guard GuardFilesInUse '(w "$INSTDIR", w R5, w .R1, i ${NSIS_MAX_STRLEN})' 1
    ${If} $R0 == 0
        Pop $R5
        Return
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION|MB_TOPMOST \
        "$INSTDIR\$R1 is in use (error $R0), perhaps by kelvanectl or Quellon, and cannot be replaced.$\r$\n$\r$\nClose the program that uses it, then press Retry. Cancel leaves everything as it is." \
        /SD IDCANCEL IDRETRY again
    DetailPrint "$INSTDIR\$R1 is in use; nothing was changed."
    StrCpy $R0 1
    Pop $R5
FunctionEnd

; A setup that stopped the tray program and then stops itself starts it again from where it ran, so
; it leaves things as it found them.
Function RestartProgram
    ${If} $Stopped != 1
    ${OrIf} $Account == 2
        Return
    ${EndIf}
    DetailPrint "Starting the Kelvane tray program again"
    ${If} $IsNt6 == 1
        ReadRegStr $R1 HKLM "${PATH_KEY}" "Path"
        SetOutPath "$WINDIR"
        Exec '"$WINDIR\explorer.exe" "$R1"'
    ${Else}
        !insertmacro CallIgnix RunLumora
    ${EndIf}
FunctionEnd

; Ends a setup that stops: what it made goes, a program it closed runs again, exit code 2.
!macro StopUnchanged
    Call ReleaseFolder
    Call RestartProgram
    SetErrorLevel 2
    Abort
!macroend

; Since Vista this setup runs elevated, and a program it started itself would be elevated too: it
; could not receive the notebook key program's messages and would keep the administrator's settings.
; Explorer started with a file hands it to the desktop's shell, which starts it with its own token,
; the logged-on user's, not elevated.
Function StartProgramAsUser
    ; Not from the program's folder: a process working there would keep it from being removed.
    SetOutPath "$WINDIR"
    ClearErrors
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\Lumora.exe"'
    ${If} ${Errors}
        MessageBox MB_OK|MB_ICONEXCLAMATION|MB_TOPMOST \
            "Kelvane is installed, but its tray program could not be started: the Windows shell could not be asked to start it.$\r$\n$\r$\nStart Kelvane from the Start menu." \
            /SD IDOK
        DetailPrint "The Kelvane tray program could not be started: explorer.exe could not be run"
    ${EndIf}
FunctionEnd

Function StartProgram
    ; A deployment service's account: a program it started would run as SYSTEM on the user's desktop.
    ${If} $Account == 2
        DetailPrint "Run as SYSTEM: the Kelvane tray program is not started; each user starts it at log-on or from the Start menu"
        Return
    ${EndIf}
    ${If} $IsNt6 == 1
        ; A deployment service runs the setup as SYSTEM on a window station no one sees, without a
        ; shell to hand the program to: each user's start at log-on or the Start menu starts it there.
        System::Call 'user32::GetProcessWindowStation() p .R1'
        System::Call '*(i 0, i 0, i 0) p .R2'
        System::Call 'user32::GetUserObjectInformation(p R1, i 1, p R2, i 12, *i .R3) i .R4'
        System::Call '*$R2(i, i, i .R5)' ; USEROBJECTFLAGS.dwFlags
        System::Free $R2
        IntOp $R5 $R5 & 1 ; WSF_VISIBLE
        ${If} $R4 == 0
        ${OrIf} $R5 == 0
            DetailPrint "Not on an interactive desktop: the Kelvane tray program is not started"
        ${Else}
            DetailPrint "Starting the Kelvane tray program"
            Call StartProgramAsUser
        ${EndIf}
    ${Else}
        DetailPrint "Starting the Kelvane tray program"
        !insertmacro CallIgnix RunLumora
        ${If} $R9 == ""
            MessageBox MB_OK|MB_ICONEXCLAMATION|MB_TOPMOST \
                "Kelvane is installed, but its tray program could not be started: Ignix.dll could not be loaded.$\r$\n$\r$\nStart Kelvane from the Start menu." \
                /SD IDOK
            DetailPrint "The Kelvane tray program could not be started: Ignix.dll could not be loaded"
        ${ElseIf} $R9 != 0
            DetailPrint "The Kelvane tray program could not be started (RunLumora: $R9)"
        ${EndIf}
    ${EndIf}
FunctionEnd

Section "Kelvane"
    ${If} ${Silent}
    ${AndIf} $AskedFolder != ""
    ${AndIf} $AskedFolder != $INSTDIR
        MessageBox MB_OK|MB_ICONSTOP|MB_TOPMOST \
            "Kelvane cannot be installed in$\r$\n$AskedFolder$\r$\nbecause that is not a folder Windows can make: a file has that name or its drive does not exist." \
            /SD IDOK
        DetailPrint "$AskedFolder cannot be a folder; nothing was changed."
        SetErrorLevel 2
        Abort
    ${EndIf}
    Call OpenFolder
    ${If} $R0 == 0
        SetErrorLevel 2
        Abort
    ${EndIf}
    Call LoadIgnix
    ${If} $R0 == 0
        !insertmacro StopUnchanged
    ${EndIf}
    Call CheckPendingRemovals
    ${If} $R0 == 1
        !insertmacro StopUnchanged
    ${EndIf}
    Call CheckProgramElsewhere
    ${If} $R0 == 1
        !insertmacro StopUnchanged
    ${EndIf}
    ; Lumora.exe itself is in use while the program runs; the rest must be free before it is closed.
    Push "${OTHER_FILES}"
    Call CheckFilesInUse
    ${If} $R0 == 1
        !insertmacro StopUnchanged
    ${EndIf}
    Call StopProgram
    ${If} $R0 == 1
        !insertmacro StopUnchanged
    ${EndIf}
    Push "Lumora.exe|${OTHER_FILES}"
    Call CheckFilesInUse
    ${If} $R0 == 1
        !insertmacro StopUnchanged
    ${EndIf}
    ; The folder may have changed hands while the program was closing: its owner is what was accepted.
    !insertmacro Guard GuardCheckHeld '(p $Held, w "$INSTDIR", w "$Owner")' 5
    ${If} $R0 != 0
        StrCpy $R1 $R0
        Call FolderRefused
        !insertmacro StopUnchanged
    ${EndIf}

    SetOutPath "$INSTDIR"
    SetOverwrite on
    File "${PROGRAM_DIR}/Lumora.exe"
    File "${DEFAULTS_DIR}/CFG1.DEF" "${DEFAULTS_DIR}/CFG2.DEF" "${DEFAULTS_DIR}/CFG3.DEF" "${DEFAULTS_DIR}/CFG4.DEF"
    File "${DEFAULTS_DIR}/CFG5.DEF" "${DEFAULTS_DIR}/CFG6.DEF" "${DEFAULTS_DIR}/CFG7.DEF" "${DEFAULTS_DIR}/CFG8.DEF"
    File "${TOOLS_DIR}/Quellon.exe"
    File "${__FILEDIR__}/QUELLON.INI"
    File "${TOOLS_DIR}/kelvanectl.exe"
    File "${TOOLS_DIR}/kelvanectlw.exe"
    ; A first installation starts every step from its default; the user's own step files stay.
    ; Since Vista each user keeps them in %APPDATA%\Kelvane, copied there by the program itself.
    ${If} $IsNt6 == 0
        SetOverwrite off
        File "/oname=CFG1.BLC" "${DEFAULTS_DIR}/CFG1.DEF"
        File "/oname=CFG2.BLC" "${DEFAULTS_DIR}/CFG2.DEF"
        File "/oname=CFG3.BLC" "${DEFAULTS_DIR}/CFG3.DEF"
        File "/oname=CFG4.BLC" "${DEFAULTS_DIR}/CFG4.DEF"
        File "/oname=CFG5.BLC" "${DEFAULTS_DIR}/CFG5.DEF"
        File "/oname=CFG6.BLC" "${DEFAULTS_DIR}/CFG6.DEF"
        File "/oname=CFG7.BLC" "${DEFAULTS_DIR}/CFG7.DEF"
        File "/oname=CFG8.BLC" "${DEFAULTS_DIR}/CFG8.DEF"
        SetOverwrite on
    ${EndIf}
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    ; Every file is in: the folder may go its way (nothing made is removed any more).
    StrCpy $Made 0
    Call ReleaseFolder

    WriteRegStr HKLM "${PATH_KEY}" "Path" "$INSTDIR\Lumora.exe"
    WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Lumora.exe,0"
    WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $R1 $R2 $R3
    WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $R1

    SetShellVarContext all
    CreateShortcut "$SMPROGRAMS\Kelvane.lnk" "$INSTDIR\Lumora.exe" "" "$INSTDIR\Lumora.exe" 0

    StrCpy $Installed 1
    ; An interactive setup starts the program from its finish page, when "Start Kelvane" is ticked.
    ${If} ${Silent}
        Call StartProgram
    ${EndIf}
SectionEnd

; ---- Uninstaller ----

Function un.onInit
    !insertmacro SelectView
    !insertmacro CheckAccount
FunctionEnd

; Removes FILE (wildcards allowed); one that is in use is named in the details and removed when
; Windows restarts, which the end of the uninstallation tells the user.
!macro RemoveFile FILE
    ${If} ${FileExists} "${FILE}"
        ClearErrors
        Delete "${FILE}"
        ${If} ${Errors}
            DetailPrint "In use, removed when Windows restarts: ${FILE}"
            Delete /REBOOTOK "${FILE}"
        ${EndIf}
    ${EndIf}
!macroend

Section "Uninstall"
    Call un.LoadIgnix
    ${If} $R0 == 0
        SetErrorLevel 2
        Abort
    ${EndIf}
    Call un.StopProgram
    ${If} $R0 == 1
        SetErrorLevel 2
        Abort
    ${EndIf}

    !insertmacro RemoveFile "$INSTDIR\Lumora.exe"
    !insertmacro RemoveFile "$INSTDIR\CFG?.DEF"
    !insertmacro RemoveFile "$INSTDIR\Quellon.exe"
    !insertmacro RemoveFile "$INSTDIR\QUELLON.INI"
    !insertmacro RemoveFile "$INSTDIR\kelvanectl.exe"
    !insertmacro RemoveFile "$INSTDIR\kelvanectlw.exe"
    ${If} ${FileExists} "$INSTDIR\CFG?.BLC"
    ${OrIf} ${FileExists} "$INSTDIR\Lumora.ini"
        MessageBox MB_YESNO|MB_ICONQUESTION|MB_TOPMOST \
            "Remove your step settings too (the step files CFG1.BLC to CFG8.BLC and the step names in Lumora.ini)?$\r$\n$\r$\nNo keeps them for a later installation." \
            /SD IDNO IDNO keepSteps
        !insertmacro RemoveFile "$INSTDIR\CFG?.BLC"
        !insertmacro RemoveFile "$INSTDIR\CFG?.BL~"
        !insertmacro RemoveFile "$INSTDIR\Lumora.ini"
      keepSteps:
    ${EndIf}
    ; Since Vista each user's steps, step names and start at log-on are the user's own; these are the
    ; uninstalling user's (the one who confirmed the elevation).
    ${If} $IsNt6 == 1
        SetShellVarContext current
        ${If} ${FileExists} "$APPDATA\Kelvane\*.*"
            MessageBox MB_YESNO|MB_ICONQUESTION|MB_TOPMOST \
                "Remove your step settings too (the step files and the step names in$\r$\n$APPDATA\Kelvane)?$\r$\n$\r$\nNo keeps them for a later installation." \
                /SD IDNO IDNO keepUserSteps
            ; By name and never recursively: a junction put in the folder must not lead elsewhere.
            ${ForEach} $R1 1 8 + 1
                !insertmacro RemoveFile "$APPDATA\Kelvane\CFG$R1.BLC"
                !insertmacro RemoveFile "$APPDATA\Kelvane\CFG$R1.BL~"
            ${Next}
            !insertmacro RemoveFile "$APPDATA\Kelvane\Lumora.ini"
            RMDir /REBOOTOK "$APPDATA\Kelvane"
          keepUserSteps:
        ${EndIf}
        DeleteRegValue HKCU "${RUN_KEY}" "Kelvane"
    ${EndIf}
    !insertmacro RemoveFile "$INSTDIR\Uninstall.exe"
    ; Since Vista other users' start at log-on may still name the folder. Outside Program Files any
    ; user could make it again, with a Lumora.exe of their own, so the emptied folder stays,
    ; protected, the administrators' own.
    Call un.InProgramFiles
    ${If} $R0 == 0
    ${AndIf} $IsNt6 == 1
        DetailPrint "The emptied folder $INSTDIR stays, so that only administrators can put programs there"
    ${ElseIf} ${RebootFlag}
        RMDir /REBOOTOK "$INSTDIR"
    ${Else}
        RMDir "$INSTDIR"
    ${EndIf}

    DeleteRegKey HKLM "${PATH_KEY}"
    DeleteRegKey /ifempty HKLM "SOFTWARE\Vosk"
    DeleteRegKey HKLM "${UNINST_KEY}"
    DeleteRegValue HKLM "${RUN_KEY}" "Kelvane"
    SetShellVarContext all
    Delete "$SMPROGRAMS\Kelvane.lnk"

    ${If} ${RebootFlag}
        MessageBox MB_OK|MB_ICONINFORMATION|MB_TOPMOST \
            "Some files of Kelvane are in use and could not be removed:$\r$\n$INSTDIR$\r$\n$\r$\nWindows removes them when it restarts." \
            /SD IDOK
    ${EndIf}
SectionEnd
