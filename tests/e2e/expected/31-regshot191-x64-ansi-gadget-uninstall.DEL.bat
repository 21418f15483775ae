echo off
color F0
REM The following files still exist...
REM Report of a 64-bit Regshot: paths are read as the report names them
REM The following DEL commands are in file C:\reports\31-regshot191-x64-ansi-gadget-uninstall.bat 
REM The files will be DELETED if you execute file C:\reports\31-regshot191-x64-ansi-gadget-uninstall.bat 

cls
echo.
set _ok=
set /p _ok=Do you really want to DELETE these files? (Y/N) :
if /I NOT "%_ok%" == "Y" EXIT
set _nop=
set _ok=
set /p _ok=Remove prompt to delete folders? (Y/N) :
if /I "%_ok%" == "Y" set _nop=/Q
RMDIR /S %_nop% "C:\rstest\Gadget Soft\backup"
RMDIR /S %_nop% "C:\rstest\Gadget Soft\logs"
DEL "C:\rstest\Gadget Soft\Gadget Suite\crash 0001.dmp"
pause
