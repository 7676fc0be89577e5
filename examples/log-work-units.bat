@echo off
rem Logs the finished work unit of each client directory into one log.
rem
rem   log-work-units.bat LOG_DIRECTORY CLIENT_DIRECTORY...
rem
rem Call it after a client has finished its work unit and before the unit
rem is sent back: from the loop that runs the client one work unit at a
rem time, or from the client's own hook for a finished unit. Every client
rem writes into LOG_DIRECTORY\WUTally.csv; runs at the same moment wait for
rem one another. The log directory is made if it is missing. "{host}" in
rem it stands for this computer's name, so that one line serves every
rem computer of a farm that keeps a log per computer (and the script says
rem so where two computers share a name):
rem   log-work-units.bat \\server\logs\{host} C:\client
rem
rem Each line the program prints is passed on behind the client directory
rem ("client1: WUTally: work unit saved successfully on ..."). A work unit
rem that is already logged is no error. Any other failure is reported, the
rem other clients are still logged, and the script exits with status 1.
rem WUTALLY names the program if it is not beside this file.
setlocal
if not defined WUTALLY set "WUTALLY=%~dp0wutally.exe"
rem The program runs in each client's directory, so a program named with a
rem directory is made absolute first; one named alone is looked up on the
rem PATH.
if not "%WUTALLY:\=%%WUTALLY:/=%"=="%WUTALLY%%WUTALLY%" (
    for %%P in ("%WUTALLY%") do set "WUTALLY=%%~fP"
)
if "%~2"=="" (
    >&2 echo usage: log-work-units.bat LOG_DIRECTORY CLIENT_DIRECTORY...
    exit /b 2
)
set "LOG_DIRECTORY=%~f1"
call set "LOG_DIRECTORY=%%LOG_DIRECTORY:{host}=%COMPUTERNAME%%%"
if not exist "%LOG_DIRECTORY%\*" mkdir "%LOG_DIRECTORY%" 2>nul
if not exist "%LOG_DIRECTORY%\*" (
    >&2 echo log-work-units: cannot make the log directory %LOG_DIRECTORY%
    exit /b 1
)
rem With {host}, a folder per computer: a second computer of the same name
rem (one made from the same disk image, say) would share it unawares. The
rem folder keeps the machine id of the first computer that logged into it.
set "GIVEN=%~1"
if "%GIVEN:{host}=%"=="%GIVEN%" goto logging
set "MACHINE_ID="
for /f "tokens=3" %%G in ('reg query "HKLM\SOFTWARE\Microsoft\Cryptography" /v MachineGuid 2^>nul ^| find "MachineGuid"') do set "MACHINE_ID=%%G"
if not defined MACHINE_ID goto logging
set "MARK="
if exist "%LOG_DIRECTORY%\.wutally-machine" set /p MARK=<"%LOG_DIRECTORY%\.wutally-machine"
if not defined MARK (
    >"%LOG_DIRECTORY%\.wutally-machine" echo %MACHINE_ID%
) else if not "%MARK%"=="%MACHINE_ID%" (
    >&2 echo log-work-units: another computer named %COMPUTERNAME% logs into %LOG_DIRECTORY% too; give each computer a name of its own
)
:logging
set "STATUS=0"
:next
shift
if "%~1"=="" exit /b %STATUS%
if not exist "%~1\*" (
    >&2 echo log-work-units: %~1: no such client directory
    set "STATUS=1"
    goto next
)
set "OUTPUT=%TEMP%\log-work-units-%RANDOM%%RANDOM%.txt"
pushd "%~1"
"%WUTALLY%" "/P%LOG_DIRECTORY%" >"%OUTPUT%" 2>&1
set "CODE=%ERRORLEVEL%"
popd
for /f "usebackq delims=" %%L in ("%OUTPUT%") do echo %~1: %%L
del "%OUTPUT%"
if "%CODE%"=="0" goto next
if "%CODE%"=="2" goto next
>&2 echo log-work-units: %~1: wutally failed with exit status %CODE%
set "STATUS=1"
goto next
