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

!macro SelectView
!if ${BITS} == 64
    SetRegView 64
!endif
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

; Asks a running tray program to close through StopLumora and waits until its process has ended,
; so its files can be replaced and the user's power scheme is back. $R0 is 1 when it is still
; running after the wait and the user did not retry (silent runs never retry), 0 otherwise.
!macro StopProgramFunction UN
Function ${UN}StopProgram
    StrCpy $R0 0
    InitPluginsDir
    File "/oname=$PLUGINSDIR\Ignix.dll" "${TOOLS_DIR}/Ignix.dll"
  again:
    FindWindow $R1 "LUMORA" "Lumora"
    ${If} $R1 == 0
        Return
    ${EndIf}
    DetailPrint "Closing the running Kelvane tray program"
    !insertmacro CallIgnix StopLumora
    System::Call 'user32::GetWindowThreadProcessId(p R1, *i .R2) i'
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i R2) p .R3'
    ${If} $R3 != 0
        System::Call 'kernel32::WaitForSingleObject(p R3, i ${STOP_WAIT_MS}) i .R4'
        System::Call 'kernel32::CloseHandle(p R3)'
    ${Else}
        ; Without a handle on the process, watch its window instead.
        StrCpy $R4 0
        ${Do}
            Sleep 250
            IntOp $R4 $R4 + 250
            FindWindow $R1 "LUMORA" "Lumora"
            ${If} $R1 == 0
            ${OrIf} $R4 >= ${STOP_WAIT_MS}
                ${ExitDo}
            ${EndIf}
        ${Loop}
    ${EndIf}
    FindWindow $R1 "LUMORA" "Lumora"
    ${If} $R1 == 0
        Return
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

; Lets the built-in Users group change files in the folder: the program writes its step files and
; step names beside itself, and runs as the logged-on user. Inherited entries stay as they are.
Function GrantUsersModify
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptor(t "D:(A;OICI;0x1301bf;;;BU)", i 1, *p .R1, p 0) i .R0'
    ${If} $R0 == 0
        DetailPrint "Could not let users change files in $INSTDIR"
        Return
    ${EndIf}
    System::Call 'advapi32::GetSecurityDescriptorDacl(p R1, *i .R2, *p .R3, *i .R4) i .R0'
    ; SE_FILE_OBJECT 1, DACL_SECURITY_INFORMATION 4
    System::Call 'advapi32::SetNamedSecurityInfo(t "$INSTDIR", i 1, i 4, p 0, p 0, p R3, p 0) i .R0'
    ${If} $R0 != 0
        DetailPrint "Could not let users change files in $INSTDIR (error $R0)"
    ${EndIf}
    System::Call 'kernel32::LocalFree(p R1)'
FunctionEnd

Section "Kelvane"
    Call CheckFolderWritable
    ${If} $R0 == 0
        SetErrorLevel 2
        Abort
    ${EndIf}
    Call StopProgram
    ${If} $R0 == 1
        SetErrorLevel 2
        Abort
    ${EndIf}

    SetOutPath "$INSTDIR"
    Call GrantUsersModify
    SetOverwrite on
    File "${PROGRAM_DIR}/Lumora.exe"
    File "${DEFAULTS_DIR}/CFG1.DEF" "${DEFAULTS_DIR}/CFG2.DEF" "${DEFAULTS_DIR}/CFG3.DEF" "${DEFAULTS_DIR}/CFG4.DEF"
    File "${DEFAULTS_DIR}/CFG5.DEF" "${DEFAULTS_DIR}/CFG6.DEF" "${DEFAULTS_DIR}/CFG7.DEF" "${DEFAULTS_DIR}/CFG8.DEF"
    File "${TOOLS_DIR}/Quellon.exe"
    File "${__FILEDIR__}/QUELLON.INI"
    File "${TOOLS_DIR}/kelvanectl.exe"
    ; A first installation starts every step from its default; the user's own step files stay.
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
    !insertmacro CallIgnix RunLumora
    ${If} $R9 != 0
        DetailPrint "The Kelvane tray program could not be started (RunLumora: $R9)"
    ${EndIf}
SectionEnd

; ---- Uninstaller ----

Function un.onInit
    !insertmacro SelectView
FunctionEnd

Section "Uninstall"
    Call un.StopProgram
    ${If} $R0 == 1
        SetErrorLevel 2
        Abort
    ${EndIf}

    Delete "$INSTDIR\Lumora.exe"
    Delete "$INSTDIR\CFG?.DEF"
    Delete "$INSTDIR\Quellon.exe"
    Delete "$INSTDIR\QUELLON.INI"
    Delete "$INSTDIR\kelvanectl.exe"
    ${If} ${FileExists} "$INSTDIR\CFG?.BLC"
    ${OrIf} ${FileExists} "$INSTDIR\Lumora.ini"
        MessageBox MB_YESNO|MB_ICONQUESTION|MB_TOPMOST \
            "Remove your step settings too (the step files CFG1.BLC to CFG8.BLC and the step names in Lumora.ini)?$\r$\n$\r$\nNo keeps them for a later installation." \
            /SD IDNO IDNO keepSteps
        Delete "$INSTDIR\CFG?.BLC"
        Delete "$INSTDIR\CFG?.BL~"
        Delete "$INSTDIR\Lumora.ini"
      keepSteps:
    ${EndIf}
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"

    DeleteRegKey HKLM "${PATH_KEY}"
    DeleteRegKey /ifempty HKLM "SOFTWARE\Vosk"
    DeleteRegKey HKLM "${UNINST_KEY}"
    DeleteRegValue HKLM "${RUN_KEY}" "Kelvane"
    SetShellVarContext all
    Delete "$SMPROGRAMS\Kelvane.lnk"
SectionEnd
