; Setup program of Kelvane: installs, upgrades and removes the tray program and its companions.
;
; makensis defines (installer/CMakeLists.txt passes them):
;   BITS          32 (x86, every Windows from XP on) or 64 (amd64); Ignix.dll must match it
;   PROGRAM_DIR   folder of Lumora.exe
;   TOOLS_DIR     folder of Ignix.dll, Quellon.exe and kelvanectl.exe
;   DEFAULTS_DIR  folder of CFG1.DEF to CFG8.DEF
;   VERSION       version shown in the uninstall entry
;   OUT_FILE      the setup program to write

Unicode true
!if ${BITS} == 64
Target amd64-unicode
!else
Target x86-unicode
!endif

!include LogicLib.nsh
!include FileFunc.nsh

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

Page directory "" "" DirectoryLeave
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

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

Function .onInit
    !insertmacro SelectView
FunctionEnd

; $R0 is 1 when files can be written in $INSTDIR (made if it is missing), 0 after a message.
Function CheckFolderWritable
    StrCpy $R0 1
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

Function DirectoryLeave
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
    ClearErrors
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\Lumora.exe"'
    ${If} ${Errors}
        MessageBox MB_OK|MB_ICONEXCLAMATION|MB_TOPMOST \
            "Kelvane is installed, but its tray program could not be started: the Windows shell could not be asked to start it.$\r$\n$\r$\nStart Kelvane from the Start menu." \
            /SD IDOK
        DetailPrint "The Kelvane tray program could not be started: explorer.exe could not be run"
    ${EndIf}
FunctionEnd

Section "Kelvane"
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

    ; The folder keeps the access list Windows gives it (in Program Files: users read and run, only
    ; administrators change): a file any user could replace would run for every user at log-on.
    SetOutPath "$INSTDIR"
    SetOverwrite on
    File "${PROGRAM_DIR}/Lumora.exe"
    File "${DEFAULTS_DIR}/CFG1.DEF" "${DEFAULTS_DIR}/CFG2.DEF" "${DEFAULTS_DIR}/CFG3.DEF" "${DEFAULTS_DIR}/CFG4.DEF"
    File "${DEFAULTS_DIR}/CFG5.DEF" "${DEFAULTS_DIR}/CFG6.DEF" "${DEFAULTS_DIR}/CFG7.DEF" "${DEFAULTS_DIR}/CFG8.DEF"
    File "${TOOLS_DIR}/Quellon.exe"
    File "${__FILEDIR__}/QUELLON.INI"
    File "${TOOLS_DIR}/kelvanectl.exe"
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

    DetailPrint "Starting the Kelvane tray program"
    ${If} $IsNt6 == 1
        Call StartProgramAsUser
    ${Else}
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
SectionEnd

; ---- Uninstaller ----

Function un.onInit
    !insertmacro SelectView
FunctionEnd

; Removes FILE (wildcards allowed); one that is in use is named in the details and removed when
; Windows restarts, which the end of the uninstallation tells the user.
!macro RemoveFile FILE
    ClearErrors
    Delete "${FILE}"
    ${If} ${Errors}
        DetailPrint "In use, removed when Windows restarts: ${FILE}"
        Delete /REBOOTOK "${FILE}"
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
            RMDir /r /REBOOTOK "$APPDATA\Kelvane"
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
