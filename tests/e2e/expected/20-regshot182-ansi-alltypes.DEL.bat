echo off
color F0
REM The following files still exist...
REM Report of a 32-bit Regshot: C:\windows\System32 is read as C:\windows\SysWOW64
REM The following DEL commands are in file C:\reports\20-regshot182-ansi-alltypes.bat 
REM The files will be DELETED if you execute file C:\reports\20-regshot182-ansi-alltypes.bat 

cls
echo.
set _ok=
set /p _ok=Do you really want to DELETE these files? (Y/N) :
if /I NOT "%_ok%" == "Y" EXIT
DEL "C:\rstest\new.txt"
DEL "C:\rstest\newdir\big.bin"
DEL "C:\rstest\newdir\inner dir\in.txt"
set _nop=
set _ok=
set /p _ok=Remove prompt to delete folders? (Y/N) :
if /I "%_ok%" == "Y" set _nop=/Q
RMDIR /S %_nop% "C:\rstest\newdir"
pause
