; kelvoflash-<version>-setup.exe: the programmer for 64-bit Windows. Installs the dialog program,
; the console program, tessiport.dll for 64-bit host programs and, in the folder 32-bit, the same
; three built for 32-bit Windows: a 32-bit frame grabber library loads only into a 32-bit
; program. Start-menu entries for both; an uninstaller registered with Windows; the folder of the
; library's log and parameter file, which every user may change. Installing over an older version
; replaces the programs and keeps what the users wrote. /S installs and uninstalls silently.
;
; makensis -DVERSION=1.11 -DPROGRAMS=<folder of the programs, the 32-bit ones in 32-bit\>
;          -DREADME=<README.md> -DICON=<kelvoflash.ico> -DOUTFILE=<setup.exe> kelvoflash.nsi

; A 64-bit installer: it runs where the programs run, and needs no 32-bit support.
Target amd64-unicode
!include "MUI2.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define PRODUCT "kelvoflash"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SETTINGS_KEY "Software\${PRODUCT}"
!define PUBLISHER "QEL AG"
!define ABOUT_URL "https://www.qel-ag.example"
!define SHORTCUT32 "${PRODUCT} (32-bit frame grabbers)"
; Well-known groups by their SIDs, which hold in every language of Windows.
!define USERS "*S-1-5-32-545"
!define ADMINISTRATORS "*S-1-5-32-544"
!define SYSTEM "*S-1-5-18"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${SETTINGS_KEY}" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "${PRODUCT} ${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${PRODUCT} developers"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"

; A program that runs cannot be replaced. Asks to close it until it is closed or the user gives
; up; a silent install gives up at once and leaves the installed version as it was.
!macro WaitUntilClosed FILE
    ${If} ${FileExists} "${FILE}"
        ${Do}
            ClearErrors
            FileOpen $0 "${FILE}" a
            ${IfNot} ${Errors}
                FileClose $0
                ${Break}
            ${EndIf}
            ${If} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${PRODUCT} is running. Close every ${PRODUCT} window, then choose Retry." /SD IDCANCEL IDCANCEL`
                Abort "${PRODUCT} is running; nothing was changed."
            ${EndIf}
        ${Loop}
    ${EndIf}
!macroend

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_ICONSTOP "${PRODUCT} ${VERSION} needs a 64-bit Windows." /SD IDOK
        Abort
    ${EndIf}
    SetRegView 64
FunctionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

Section "Install"
    SetShellVarContext all
    !insertmacro WaitUntilClosed "$INSTDIR\kelvoflash.exe"
    !insertmacro WaitUntilClosed "$INSTDIR\kelvoflash-cli.exe"
    !insertmacro WaitUntilClosed "$INSTDIR\32-bit\kelvoflash.exe"
    !insertmacro WaitUntilClosed "$INSTDIR\32-bit\kelvoflash-cli.exe"
    ; Over an older version the same names are replaced; nothing else in the folder is touched.
    SetOverwrite on
    SetOutPath "$INSTDIR"
    File "${PROGRAMS}\kelvoflash.exe"
    File "${PROGRAMS}\kelvoflash-cli.exe"
    File "${PROGRAMS}\tessiport.dll"
    File /oname=README.txt "${README}"
    SetOutPath "$INSTDIR\32-bit"
    File "${PROGRAMS}\32-bit\kelvoflash.exe"
    File "${PROGRAMS}\32-bit\kelvoflash-cli.exe"
    File "${PROGRAMS}\32-bit\tessiport.dll"

    ; The library's log and parameter file live here for every user; -L writes prog_log.txt into
    ; the working folder, so the shortcuts start there. Users may change what is in it.
    CreateDirectory "$APPDATA\qel"
    nsExec::Exec 'icacls "$APPDATA\qel" /grant ${USERS}:(OI)(CI)M'
    Pop $0
    ; Keys that decide which update files are trusted: changed by administrators only.
    CreateDirectory "$APPDATA\${PRODUCT}\trusted-keys"
    nsExec::Exec 'icacls "$APPDATA\${PRODUCT}\trusted-keys" /inheritance:r /grant:r \
        ${ADMINISTRATORS}:(OI)(CI)F ${SYSTEM}:(OI)(CI)F ${USERS}:(OI)(CI)RX'
    Pop $0

    SetOutPath "$APPDATA\qel"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\kelvoflash.exe"
    CreateShortCut "$SMPROGRAMS\${SHORTCUT32}.lnk" "$INSTDIR\32-bit\kelvoflash.exe"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
    WriteRegStr HKLM "${SETTINGS_KEY}" "InstallDir" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "${ABOUT_URL}"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $1
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kelvoflash.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    !insertmacro WaitUntilClosed "$INSTDIR\kelvoflash.exe"
    !insertmacro WaitUntilClosed "$INSTDIR\32-bit\kelvoflash.exe"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${SHORTCUT32}.lnk"
    Delete "$INSTDIR\kelvoflash.exe"
    Delete "$INSTDIR\kelvoflash-cli.exe"
    Delete "$INSTDIR\tessiport.dll"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\32-bit\kelvoflash.exe"
    Delete "$INSTDIR\32-bit\kelvoflash-cli.exe"
    Delete "$INSTDIR\32-bit\tessiport.dll"
    RMDir "$INSTDIR\32-bit"
    Delete "$INSTDIR\uninstall.exe"
    ; Only when empty: files the user put there stay.
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey HKLM "${SETTINGS_KEY}"
    ; The log, the parameter file and the trusted keys stay: they belong to the users and the
    ; administrator, and a later installation takes them up again.
SectionEnd
