; The example's Windows installer. setup.exe starts it as SETUP.EXE in the
; folder it restored the medium to; it copies the application from beside
; itself into %TIDEWATER_PREFIX% (default: Program Files\Tidewater), silently.
;   makensis -DOUTFILE=SETUP.EXE [-X"Target amd64-unicode"] setup.nsi
Unicode true
Name "Tidewater"
OutFile "${OUTFILE}"
SilentInstall silent
RequestExecutionLevel admin
InstallDir "$PROGRAMFILES\Tidewater"

Function .onInit
  ReadEnvStr $0 TIDEWATER_PREFIX
  StrCmp $0 "" +2
  StrCpy $INSTDIR $0
FunctionEnd

Section
  CreateDirectory "$INSTDIR\app"
  CreateDirectory "$INSTDIR\docs"
  CopyFiles /SILENT "$EXEDIR\app\*.*" "$INSTDIR\app"
  CopyFiles /SILENT "$EXEDIR\docs\*.*" "$INSTDIR\docs"
  FileOpen $1 "$INSTDIR\installed.txt" w
  FileWrite $1 "installed Tidewater from $EXEDIR$\r$\n"
  FileClose $1
SectionEnd
