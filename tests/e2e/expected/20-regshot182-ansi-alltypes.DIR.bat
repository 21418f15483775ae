echo off
color F0
REM The following files still exist...
REM Report of a 32-bit Regshot: C:\windows\System32 is read as C:\windows\SysWOW64
REM The following DIR commands are in file C:\reports\20-regshot182-ansi-alltypes.bat 

cls
echo.
set _ok=
set /p _ok=Do you really want to DELETE these files? (Y/N) :
if /I NOT "%_ok%" == "Y" EXIT
DIR "C:\rstest\new.txt"   
DIR "C:\rstest\newdir\big.bin"   
DIR "C:\rstest\newdir\inner dir\in.txt"   
DIR "C:\rstest\newdir"   
pause
