; kelvoflash-<version>-setup.exe: the programmer for 64-bit Windows. Installs the dialog program,
; the console program, tessiport.dll for 64-bit host programs and, in a folder of its own, the
; 32-bit tessiport.dll for 32-bit host programs; a start-menu entry; an uninstaller registered
; with Windows. /S installs and uninstalls silently.
;
; makensis -DVERSION=1.11 -DPROGRAMS=<folder of the 64-bit programs> -DTESSIPORT32=<32-bit dll>
;          -DREADME=<README.md> -DICON=<kelvoflash.ico> -DOUTFILE=<setup.exe> kelvoflash.nsi

; A 64-bit installer: it runs where the programs run, and needs no 32-bit support.
Target amd64-unicode
!include "MUI2.nsh"
!include "x64.nsh"

!define PRODUCT "kelvoflash"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SETTINGS_KEY "Software\${PRODUCT}"

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
    SetOutPath "$INSTDIR"
    File "${PROGRAMS}\kelvoflash.exe"
    File "${PROGRAMS}\kelvoflash-cli.exe"
    File "${PROGRAMS}\tessiport.dll"
    File /oname=README.txt "${README}"
    SetOutPath "$INSTDIR\32-bit"
    File /oname=tessiport.dll "${TESSIPORT32}"
    SetOutPath "$INSTDIR"

    ; The trust store of signed update files: administrators and the system may change it, users
    ; only read it. Kept on uninstall, like the keys a site put there.
    CreateDirectory "$APPDATA\kelvoflash\trusted-keys"
    nsExec::Exec 'icacls "$APPDATA\kelvoflash" /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX'
    Pop $0

    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\kelvoflash.exe"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    WriteRegStr HKLM "${SETTINGS_KEY}" "InstallDir" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kelvoflash.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$INSTDIR\kelvoflash.exe"
    Delete "$INSTDIR\kelvoflash-cli.exe"
    Delete "$INSTDIR\tessiport.dll"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\32-bit\tessiport.dll"
    RMDir "$INSTDIR\32-bit"
    Delete "$INSTDIR\uninstall.exe"
    ; Only when empty: files the user put there stay.
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey HKLM "${SETTINGS_KEY}"
SectionEnd
