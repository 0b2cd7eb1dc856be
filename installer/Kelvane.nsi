; Setup program of Kelvane: installs, upgrades and removes the tray program and its companions.
;
; makensis defines (installer/CMakeLists.txt passes them):
;   BITS          32 (x86, every Windows from XP on) or 64 (amd64); Ignix.dll must match it
;   PROGRAM_DIR   folder of Lumora.exe
;   TOOLS_DIR     folder of Ignix.dll, Quellon.exe, kelvanectl.exe and kelvanectlw.exe
;   DEFAULTS_DIR  folder of CFG1.DEF to CFG8.DEF
;   VERSION       version shown in the uninstall entry and the setup's version information
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
ShowInstDetails show
ShowUninstDetails show
AllowSkipFiles off

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"

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

; $R0 is 1 when files can be written in $INSTDIR (made if it is missing), 0 after a message.
Function CheckFolderWritable
    StrCpy $R0 1
    ; Every installed file's path must stay within MAX_PATH (259 characters); the longest name is
    ; "\kelvanectlw.exe". A longer folder would be made and half filled before a file fails.
    StrLen $R1 "$INSTDIR"
    ${If} $R1 > 243
        StrCpy $R0 0
        MessageBox MB_OK|MB_ICONSTOP|MB_TOPMOST \
            "Kelvane cannot be installed in$\r$\n$INSTDIR$\r$\nbecause that path is longer than 243 characters. Choose another folder." \
            /SD IDOK
        DetailPrint "The path $INSTDIR is too long; nothing was changed."
        Return
    ${EndIf}
    StrCpy $R1 0
    ${IfNot} ${FileExists} "$INSTDIR\*.*"
        StrCpy $R1 1
        ClearErrors
        CreateDirectory "$INSTDIR"
    ${EndIf}
    ClearErrors
    FileOpen $R2 "$INSTDIR\Kelvane.wr~" w
    ${If} ${Errors}
        StrCpy $R0 0
        ${If} $R1 == 1
            RMDir "$INSTDIR"
        ${EndIf}
        MessageBox MB_OK|MB_ICONSTOP|MB_TOPMOST \
            "Kelvane cannot be installed in$\r$\n$INSTDIR$\r$\nbecause files cannot be written there. Choose another folder." \
            /SD IDOK
        DetailPrint "Files cannot be written in $INSTDIR; nothing was changed."
        Return
    ${EndIf}
    FileClose $R2
    Delete "$INSTDIR\Kelvane.wr~"
    ; A folder made only for the check goes again; the files' own step makes it when they come.
    ${If} $R1 == 1
        RMDir "$INSTDIR"
    ${EndIf}
FunctionEnd

; Outside Program Files a new folder keeps its parent's access list (C:\ lets every user change what
; is made in it): a user could then replace Uninstall.exe, run elevated from the control panel, or
; plant a library beside Lumora.exe that runs for every user at log-on. $R0 is 1 when $INSTDIR lies in
; Program Files, 0 otherwise.
Function InProgramFiles
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

; A folder outside Program Files that exists already must belong to the administrators or SYSTEM:
; its owner can always change its access list again. $R0 is 1 when it may be used, 0 after a message.
Function CheckFolderOwner
    StrCpy $R0 1
    Call InProgramFiles
    ${If} $R0 == 1
    ${OrIfNot} ${FileExists} "$INSTDIR\*.*"
        StrCpy $R0 1
        Return
    ${EndIf}
    StrCpy $R0 0
    ; 1 is SE_FILE_OBJECT, the other 1 OWNER_SECURITY_INFORMATION.
    System::Call 'advapi32::GetNamedSecurityInfo(t "$INSTDIR", i 1, i 1, *p .R1, p 0, p 0, p 0, *p .R2) i .R3'
    ${If} $R3 == 0
        ; WinLocalSystemSid and WinBuiltinAdministratorsSid
        System::Call 'advapi32::IsWellKnownSid(p R1, i 22) i .R4'
        System::Call 'advapi32::IsWellKnownSid(p R1, i 26) i .R5'
        System::Call 'kernel32::LocalFree(p R2)'
        ${If} $R4 != 0
        ${OrIf} $R5 != 0
            StrCpy $R0 1
            Return
        ${EndIf}
    ${EndIf}
    MessageBox MB_OK|MB_ICONSTOP|MB_TOPMOST \
        "Kelvane cannot be installed in$\r$\n$INSTDIR$\r$\nbecause that folder exists and does not belong to the administrators: its owner could change the programs in it. Choose another folder." \
        /SD IDOK
    DetailPrint "$INSTDIR does not belong to the administrators; nothing was changed."
FunctionEnd

; Gives a folder outside Program Files the access list Program Files has, not inherited from its
; parent: administrators and SYSTEM full control, users read and run. Windows' own tools do it:
; icacls since Vista (by SID, so any language), cacls on XP (by the local names, and it asks Y/N).
; $R0 is 1 when done (or not needed), 0 after a message.
Function ProtectFolder
    Call InProgramFiles
    ${If} $R0 == 1
        Return
    ${EndIf}
    StrCpy $R4 0
    ${IfNot} ${FileExists} "$INSTDIR\*.*"
        StrCpy $R4 1
        CreateDirectory "$INSTDIR"
    ${EndIf}
    ${If} $IsNt6 == 1
        ; The reset drops every entry set on the folder and its files, the second run the inherited ones.
        nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR" /reset /T /Q'
        Pop $R1
        ${If} $R1 == 0
            nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR" /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX /T /Q'
            Pop $R1
        ${EndIf}
    ${Else}
        Push "S-1-5-32-545"
        Call AccountName
        Push "S-1-5-18"
        Call AccountName
        Push "S-1-5-32-544"
        Call AccountName
        Pop $R1
        Pop $R2
        Pop $R3
        nsExec::ExecToLog '"$SYSDIR\cmd.exe" /c "echo y| "$SYSDIR\cacls.exe" "$INSTDIR" /T /G "$R1:F" "$R2:F" "$R3:R""'
        Pop $R1
    ${EndIf}
    StrCpy $R0 1
    ${If} $R1 != 0
        StrCpy $R0 0
        ${If} $R4 == 1
            RMDir "$INSTDIR"
        ${EndIf}
        MessageBox MB_OK|MB_ICONSTOP|MB_TOPMOST \
            "Kelvane cannot be installed in$\r$\n$INSTDIR$\r$\nbecause its access list could not be set so that only administrators change it (error $R1). Choose another folder." \
            /SD IDOK
        DetailPrint "The access list of $INSTDIR could not be set ($R1); nothing was changed."
    ${EndIf}
FunctionEnd

; The local name of the account with the SID on the stack, in the system's language.
Function AccountName
    Exch $R1
    Push $R2
    Push $R3
    System::Call 'advapi32::ConvertStringSidToSid(t R1, *p .R2) i .R3'
    ${If} $R3 != 0
        System::Call 'advapi32::LookupAccountSid(p 0, p R2, t .R1, *i ${NSIS_MAX_STRLEN}, t .R3, *i ${NSIS_MAX_STRLEN}, *i .R3) i'
        System::Call 'kernel32::LocalFree(p R2)'
    ${EndIf}
    Pop $R3
    Pop $R2
    Exch $R1
FunctionEnd

Function DirectoryLeave
    Call CheckFolderOwner
    ${If} $R0 == 0
        Abort
    ${EndIf}
    Call CheckFolderWritable
    ${If} $R0 == 0
        Abort ; stays on the page
    ${EndIf}
FunctionEnd

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
    Call CheckFolderOwner
    ${If} $R0 == 0
        SetErrorLevel 2
        Abort
    ${EndIf}
    Call CheckFolderWritable
    ${If} $R0 == 0
        SetErrorLevel 2
        Abort
    ${EndIf}
    Call LoadIgnix
    ${If} $R0 == 0
        SetErrorLevel 2
        Abort
    ${EndIf}
    Call StopProgram
    ${If} $R0 == 1
        SetErrorLevel 2
        Abort
    ${EndIf}

    ; In Program Files the folder keeps the access list Windows gives it (users read and run, only
    ; administrators change); anywhere else it gets the same one.
    Call ProtectFolder
    ${If} $R0 == 0
        SetErrorLevel 2
        Abort
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
    ${If} ${RebootFlag}
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
