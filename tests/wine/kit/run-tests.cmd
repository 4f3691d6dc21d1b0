@echo off
rem Starwright's Windows test kit: runs the Windows tests of both bitnesses (the 64-bit ones
rem only on 64-bit Windows) and writes the report folder to send back. From an elevated prompt
rem the tests that register the plug-in run too. See README.txt beside this file.
"%~dp0run_tests.exe" "%~dp0."
exit /b %errorlevel%
