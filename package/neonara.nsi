; The Neonara installer: a per-user install (no administrator rights) of the
; three files into the user's programs folder, the station the user chooses,
; Neonara made the current screensaver (the previous one remembered), an
; entry in the list of installed programs and an uninstaller that puts
; everything back.
;
; Built by scripts/package (makensis) with:
;   /DVERSION=1.2.3  /DSTATION=http://...  /DFILES=<folder with the three files>
;   /DOUTFILE=<installer path>
;
; Silent use:  neonara-setup-VERSION.exe /S [/STATION=http[s]://host/path] [/D=folder]
; Exit codes: 0 done, 1 cancelled, 2 the station address is not http[s]://...,
; 3 Neonara is running.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define PRODUCT "Neonara Screensaver"
!define KEY "Software\Neonara"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Neonara"
!define DESKTOP_KEY "Control Panel\Desktop"
; The window classes of a running saver: full screen, or in the preview.
!define SAVER_CLASS "Korvex GLGraphics"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Neonara"
BrandingText "Neonara ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Neonara"
VIAddVersionKey "FileDescription" "Neonara Screensaver setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2026 The Neonara authors"
!define MUI_ICON "${FILES}\neonara.ico"
!define MUI_UNICON "${FILES}\neonara.ico"

Var Station
Var StationField

!define MUI_WELCOMEPAGE_TEXT "This installs the Neonara screensaver for you (no administrator rights needed) and makes it your screensaver.$\r$\n$\r$\nNeonara plays an internet radio station while it runs: you choose the station on the next page."
!insertmacro MUI_PAGE_WELCOME
Page custom StationPage StationPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Open the Screen Saver settings"
!define MUI_FINISHPAGE_RUN_FUNCTION OpenScreenSaverSettings
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; ---- the station ----

; An address the saver plays: "http://" or "https://" (any case), a host,
; then printable characters without spaces or quotes. $0: the address; $1 on
; return: 1 or 0.
Function IsStationAddress
  Push $2
  Push $3
  Push $4
  Push $5
  StrCpy $1 0
  StrLen $3 $0
  StrCpy $5 0  ; where the host begins
  StrCpy $2 $0 7
  ${If} $2 == "http://"  ; StrCmp, and so ==, ignores case
    StrCpy $5 7
  ${EndIf}
  StrCpy $2 $0 8
  ${If} $2 == "https://"
    StrCpy $5 8
  ${EndIf}
  ${If} $5 > 0
  ${AndIf} $3 > $5
  ${AndIf} $3 <= 2048
    StrCpy $2 $0 1 $5
    ${If} $2 != "/"
    ${AndIf} $2 != ":"
      StrCpy $1 1
      ${For} $4 $5 $3
        StrCpy $2 $0 1 $4
        ${If} $2 == " "
        ${OrIf} $2 == '"'
        ${OrIf} $2 == "$\t"
          StrCpy $1 0
        ${EndIf}
      ${Next}
    ${EndIf}
  ${EndIf}
  Pop $5
  Pop $4
  Pop $3
  Pop $2
FunctionEnd

Function StationPage
  !insertmacro MUI_HEADER_TEXT "Radio station" "The internet radio station Neonara plays while it runs."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 36u "The stream address of the station (http://... or https://...). You can change it later by running this setup again."
  Pop $0
  ${NSD_CreateText} 0 40u 100% 12u "$Station"
  Pop $StationField
  nsDialogs::Show
FunctionEnd

Function StationPageLeave
  ${NSD_GetText} $StationField $0
  Call IsStationAddress
  ${If} $1 != 1
    MessageBox MB_ICONEXCLAMATION|MB_OK "Please give the station's stream address as http://host/path or https://host/path, without spaces."
    Abort
  ${EndIf}
  StrCpy $Station $0
FunctionEnd

; ---- a running saver ----

Function RefuseWhileRunning
  ${Do}
    FindWindow $0 "${SAVER_CLASS}"
    ${If} $0 == 0
      ${Break}
    ${EndIf}
    ${If} ${Silent}
      SetErrorLevel 3
      Quit
    ${EndIf}
    MessageBox MB_ICONEXCLAMATION|MB_RETRYCANCEL "Neonara is running. End the screensaver (move the mouse or press a key), then choose Retry." IDRETRY retry
    SetErrorLevel 1
    Quit
    retry:
  ${Loop}
FunctionEnd

Function .onInit
  ; The station: from the command line, else the one chosen before, else the build's.
  ; /STATION=address: up to the next space (an address has none).
  ${GetParameters} $0
  StrCpy $Station ""
  StrLen $2 $0
  ${For} $1 0 $2
    StrCpy $3 $0 9 $1
    ${If} $3 == "/STATION="
      IntOp $1 $1 + 9
      StrCpy $Station $0 "" $1
      ${Break}
    ${EndIf}
  ${Next}
  StrLen $2 $Station
  ${For} $1 0 $2
    StrCpy $3 $Station 1 $1
    ${If} $3 == " "
      StrCpy $Station $Station $1
      ${Break}
    ${EndIf}
  ${Next}
  ${If} $Station == ""
    ReadRegStr $Station HKCU "${KEY}" "StationURL"
    ${If} $Station == ""
      StrCpy $Station "${STATION}"
    ${EndIf}
  ${EndIf}
  StrCpy $0 $Station
  Call IsStationAddress
  ${If} $1 != 1
  ${AndIf} ${Silent}
    SetErrorLevel 2
    Quit
  ${EndIf}
  Call RefuseWhileRunning
FunctionEnd

; ---- the page beside the program, with the station in use ----

; Writes $0 to the open file $9 with &, <, > and " escaped for HTML.
Function WriteHtmlText
  StrLen $3 $0
  ${For} $2 0 $3
    StrCpy $1 $0 1 $2
    ${Select} $1
      ${Case} "&"
        FileWrite $9 "&amp;"
      ${Case} "<"
        FileWrite $9 "&lt;"
      ${Case} ">"
        FileWrite $9 "&gt;"
      ${Case} '"'
        FileWrite $9 "&quot;"
      ${CaseElse}
        FileWrite $9 $1
    ${EndSelect}
  ${Next}
FunctionEnd

Function WritePage
  FileOpen $9 "$INSTDIR\neonara.html" w
  FileWrite $9 '<!DOCTYPE html>$\r$\n<html>$\r$\n<head>$\r$\n<meta charset="utf-8">$\r$\n<title>Neonara</title>$\r$\n'
  FileWrite $9 '<style>body { font-family: Tahoma, Verdana, sans-serif; font-size: 10pt; margin: 12px; color: #222; } h1 { font-size: 16pt; margin: 0 0 8px 0; color: #2255aa; } p { margin: 0 0 8px 0; } .small { color: #666; font-size: 8pt; }</style>$\r$\n'
  FileWrite $9 '</head>$\r$\n<body>$\r$\n<h1>Neonara ${VERSION}</h1>$\r$\n'
  FileWrite $9 "<p>A field of stars sways across the screen while an internet radio station plays. The music's loudness sets off fireworks, and the station's current song scrolls in over a tinted bar at the bottom. Any key, a mouse button or a mouse move ends it.</p>$\r$\n"
  FileWrite $9 '<p>The station in use: <a href="'
  StrCpy $0 $Station
  Call WriteHtmlText
  FileWrite $9 '">'
  Call WriteHtmlText
  FileWrite $9 "</a></p>$\r$\n<p>To play another station, run Neonara's setup again and give its stream address (http://... or https://...). When the station cannot be reached, Neonara runs silently and tries again now and then.</p>$\r$\n"
  FileWrite $9 "<p class=$\"small$\">Links open in your web browser.</p>$\r$\n</body>$\r$\n</html>$\r$\n"
  FileClose $9
FunctionEnd

; ---- install ----

Section "Neonara"
  SetOutPath "$INSTDIR"
  File "${FILES}\neonara.scr"
  File "${FILES}\bass.dll"
  File "${FILES}\README.txt"
  Call WritePage
  WriteRegStr HKCU "${KEY}" "StationURL" "$Station"
  WriteRegStr HKCU "${KEY}" "InstallDir" "$INSTDIR"

  ; The screensaver the user had, kept once (an upgrade finds ours there).
  ; Windows starts a saver by its short path, which must be fully qualified.
  GetFullPathName /SHORT $R0 "$INSTDIR\neonara.scr"
  ClearErrors
  ReadRegStr $R1 HKCU "${KEY}" "PreviousScreenSaver"
  ${If} ${Errors}
    ReadRegStr $R1 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ReadRegStr $R2 HKCU "${DESKTOP_KEY}" "ScreenSaveActive"
    ${If} $R1 != $R0
    ${AndIf} $R1 != "$INSTDIR\neonara.scr"
      WriteRegStr HKCU "${KEY}" "PreviousScreenSaver" "$R1"
      WriteRegStr HKCU "${KEY}" "PreviousScreenSaveActive" "$R2"
    ${EndIf}
  ${EndIf}
  WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$R0"
  WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "1"
  ; SPI_SETSCREENSAVEACTIVE, saved and announced to running programs.
  System::Call 'user32::SystemParametersInfoW(i 17, i 1, p 0, i 3)'

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Neonara authors"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\neonara.scr"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The system's own "Install" action for a screensaver: it opens the Screen
; Saver settings with Neonara chosen.
Function OpenScreenSaverSettings
  Exec '"$SYSDIR\rundll32.exe" desk.cpl,InstallScreenSaver $INSTDIR\neonara.scr'
FunctionEnd

; ---- uninstall ----

Function un.onInit
  FindWindow $0 "${SAVER_CLASS}"
  ${If} $0 != 0
    ${IfNot} ${Silent}
      MessageBox MB_ICONEXCLAMATION|MB_OK "Neonara is running. End the screensaver, then uninstall it."
    ${EndIf}
    SetErrorLevel 3
    Quit
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ; The previous screensaver comes back if Neonara is still the chosen one.
  GetFullPathName /SHORT $R0 "$INSTDIR\neonara.scr"
  ReadRegStr $R1 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${If} $R1 == $R0
  ${OrIf} $R1 == "$INSTDIR\neonara.scr"
    ClearErrors
    ReadRegStr $R2 HKCU "${KEY}" "PreviousScreenSaver"
    ${If} ${Errors}
    ${OrIf} $R2 == ""
      DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${Else}
      WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$R2"
    ${EndIf}
    ClearErrors
    ReadRegStr $R3 HKCU "${KEY}" "PreviousScreenSaveActive"
    ${IfNot} ${Errors}
    ${AndIf} $R3 != ""
      WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "$R3"
    ${EndIf}
  ${EndIf}
  Delete "$INSTDIR\neonara.scr"
  Delete "$INSTDIR\bass.dll"
  Delete "$INSTDIR\neonara.html"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${KEY}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
