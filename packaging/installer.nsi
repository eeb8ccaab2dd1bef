; The Windows installer of one plug-in module: installs the DLL into a VST 2
; folder the user picks, and an uninstaller into the program's own folder
; (never into the VST 2 folder, which other plug-ins share). vst-package
; builds it with makensis, defining:
;   NAME VENDOR VERSION   the plug-in's name, maker and version (x.y.z)
;   VERSION_MS VERSION_LS the version as the two numbers of a version resource
;   ID                    a key of its own in the list of installed programs
;   DLL DLL_NAME          the module to install and its file name
;   OUTFILE               the installer to write
;   SIGN                  (optional) a command signing the file named %1
; Exit codes: 0 installed, 1 cancelled, 2 nothing to do or could not install,
; 3 the folder holds a newer version.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
; No build times in the installer: files get the time they are installed.
SetDateSave off
RequestExecutionLevel admin
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include StrFunc.nsh
${StrStr}

!define APP_KEY "Software\${VENDOR}\${NAME}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${ID}"
!define APP_DIR "$PROGRAMFILES64\${VENDOR}\${NAME}"

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
; Most hosts scan the shared VST 2 folder of Common Files; an earlier install's
; folder, where there is one, comes first, so that an upgrade replaces it in place.
InstallDir "$COMMONFILES64\VST2"
InstallDirRegKey HKLM "${APP_KEY}" "InstallDir"
BrandingText "${VENDOR} ${NAME} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${NAME}"
VIAddVersionKey /LANG=1033 "CompanyName" "${VENDOR}"
VIAddVersionKey /LANG=1033 "FileDescription" "${NAME} ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"

!ifdef SIGN
  !finalize '${SIGN}' = 0
  !uninstfinalize '${SIGN}' = 0
!endif

Var PreviousDir  ; the folder an earlier install put the module in, if any
Var PluginDir    ; (uninstaller) the folder this install put the module in
Var MadeDir      ; whether this install created the plug-in folder
Var AskedDir     ; the folder given with /D=, if any

!define MUI_ABORTWARNING
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup installs ${DLL_NAME} into the folder below, where your host must look for VST 2 plug-ins (see the plug-in folders in its preferences).$\r$\n$\r$\n$COMMONFILES64\VST2 is the folder most hosts scan, so it is the default. The other common folder is $PROGRAMFILES64\VSTPlugins. A 32-bit host cannot load this 64-bit plug-in."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Stops the install before anything is written, saying why.
!macro Refuse code text
  MessageBox MB_OK|MB_ICONSTOP "${text}" /SD IDOK
  SetErrorLevel ${code}
  Quit
!macroend

Function .onInit
  SetRegView 64
  ReadRegStr $PreviousDir HKLM "${APP_KEY}" "InstallDir"
  ; NSIS takes its default folder, without a word, for a /D= folder it finds
  ; unusable (a file on its path); the command line keeps what was asked.
  System::Call 'kernel32::GetCommandLine() t .r0'
  ${StrStr} $1 $0 " /D="
  ${If} $1 != ""
    StrCpy $AskedDir $1 "" 4
    StrCpy $2 $AskedDir 1 -1
    ${If} $2 == "\"
      StrCpy $AskedDir $AskedDir -1
    ${EndIf}
  ${EndIf}
FunctionEnd

; Whether a folder takes a new file: creates it when missing (noting that in
; $MadeDir), writes and deletes a probe file. Leaves 1 or 0 on the stack.
Function CanWrite
  Exch $0
  Push $1
  StrCpy $MadeDir 0
  ${IfNot} ${FileExists} "$0\*.*"
    StrCpy $MadeDir 1
  ${EndIf}
  ClearErrors
  CreateDirectory "$0"
  FileOpen $1 "$0\.${NAME}-setup-probe" w
  ${If} ${Errors}
    StrCpy $0 0
  ${Else}
    FileClose $1
    Delete "$0\.${NAME}-setup-probe"
    StrCpy $0 1
  ${EndIf}
  Pop $1
  Exch $0
FunctionEnd

Section "${NAME}" main
  SectionIn RO

  ${If} $AskedDir != ""
  ${AndIf} $AskedDir != $INSTDIR
    !insertmacro Refuse 2 "Cannot install into $AskedDir: a file stands in its path. Nothing was installed."
  ${EndIf}

  ; A newer build of the same module in the folder stays: no downgrade.
  ${If} ${FileExists} "$INSTDIR\${DLL_NAME}"
    ClearErrors
    GetDLLVersion "$INSTDIR\${DLL_NAME}" $0 $1
    ${IfNot} ${Errors}
      StrCpy $5 0
      ${If} $0 U> ${VERSION_MS}
        StrCpy $5 1
      ${ElseIf} $0 = ${VERSION_MS}
        ${If} $1 U> ${VERSION_LS}
          StrCpy $5 1
        ${EndIf}
      ${EndIf}
      ${If} $5 = 1
        IntOp $2 $0 >> 16
        IntOp $3 $0 & 0xFFFF
        IntOp $4 $1 >> 16
        !insertmacro Refuse 3 "$INSTDIR already holds ${NAME} $2.$3.$4, newer than this ${VERSION}. Nothing was changed; uninstall the newer version first to go back to this one."
      ${EndIf}
    ${EndIf}
  ${EndIf}

  ; Both folders must take files before the first one is written.
  Push "${APP_DIR}"
  Call CanWrite
  Pop $0
  ${If} $0 = 0
    RMDir "${APP_DIR}"
    RMDir "$PROGRAMFILES64\${VENDOR}"
    !insertmacro Refuse 2 "Cannot write to ${APP_DIR}. Nothing was installed; run Setup as an administrator."
  ${EndIf}
  Push "$INSTDIR"
  Call CanWrite
  Pop $0
  ${If} $0 = 0
    ${If} $MadeDir = 1
      RMDir "$INSTDIR"
    ${EndIf}
    ${If} $PreviousDir == ""
      RMDir "${APP_DIR}"
      RMDir "$PROGRAMFILES64\${VENDOR}"
    ${EndIf}
    !insertmacro Refuse 2 "Cannot write to $INSTDIR. Nothing was installed; pick a folder you may write to, or run Setup as an administrator."
  ${EndIf}
  ; An upgrade keeps the note that an earlier install made the folder.
  ${If} $PreviousDir == $INSTDIR
    ReadRegDWORD $0 HKLM "${APP_KEY}" "MadeDir"
    IntOp $MadeDir $MadeDir | $0
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "/oname=${DLL_NAME}" "${DLL}"
  ; An earlier install into another folder: its module goes, so hosts find one copy.
  ${If} $PreviousDir != ""
  ${AndIf} $PreviousDir != $INSTDIR
    Delete "$PreviousDir\${DLL_NAME}"
  ${EndIf}

  SetOutPath "${APP_DIR}"
  WriteUninstaller "${APP_DIR}\Uninstall.exe"
  SetOutPath "$TEMP"

  WriteRegStr HKLM "${APP_KEY}" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${APP_KEY}" "Version" "${VERSION}"
  WriteRegDWORD HKLM "${APP_KEY}" "MadeDir" $MadeDir
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${VENDOR}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"${APP_DIR}\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"${APP_DIR}\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize ${main} $0
  IntOp $0 $0 + 64  ; the uninstaller, in KB
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  SetRegView 64
  ReadRegStr $PluginDir HKLM "${APP_KEY}" "InstallDir"
  ${If} $PluginDir == ""
    MessageBox MB_OK|MB_ICONINFORMATION "${NAME} is not installed on this computer (it may have been uninstalled already). Nothing was removed." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
FunctionEnd

; Removes what the installer put there and nothing else: the module, the
; plug-in folder only if this install made it and it is empty, the records,
; the uninstaller and its folders when empty.
Section "Uninstall"
  Delete "$PluginDir\${DLL_NAME}"
  ReadRegDWORD $0 HKLM "${APP_KEY}" "MadeDir"
  ${If} $0 = 1
    RMDir "$PluginDir"
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${APP_KEY}"
  DeleteRegKey /ifempty HKLM "Software\${VENDOR}"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$PROGRAMFILES64\${VENDOR}"
SectionEnd
