echo off
color F0
REM The following files still exist...
REM Report of a 64-bit Regshot: paths are read as the report names them
REM The following DIR commands are in file C:\reports\29-regshot191-x64-ansi-edge.bat 

cls
echo.
set _ok=
set /p _ok=Do you really want to DELETE these files? (Y/N) :
if /I NOT "%_ok%" == "Y" EXIT
DIR "C:\rstest\deep"   
DIR "C:\rstest\Program Files\EdgeApp"   
DIR "C:\rstest\100%% done.txt"   
pause
