echo off
color F0
REM The following files still exist...
REM Report of a 64-bit Regshot: paths are read as the report names them
REM The following DEL commands are in file C:\reports\29-regshot191-x64-ansi-edge.bat 
REM The files will be DELETED if you execute file C:\reports\29-regshot191-x64-ansi-edge.bat 

cls
echo.
set _ok=
set /p _ok=Do you really want to DELETE these files? (Y/N) :
if /I NOT "%_ok%" == "Y" EXIT
set _nop=
set _ok=
set /p _ok=Remove prompt to delete folders? (Y/N) :
if /I "%_ok%" == "Y" set _nop=/Q
RMDIR /S %_nop% "C:\rstest\deep"
RMDIR /S %_nop% "C:\rstest\Program Files\EdgeApp"
DEL "C:\rstest\100%% done.txt"
pause
