@echo off
rem Starwright's Windows test kit: runs the Windows tests of both bitnesses (the 64-bit ones
rem only on 64-bit Windows) and writes the report folder to send back. From an elevated prompt
rem the tests that register the plug-in run too. Options (see TESTING.md beside this file):
rem   --standard-user        the tests take a standard user's path
rem   --time-limit SECONDS   each program's limit (1800 unless given)
rem   --put-back-left        put back what an ended run left, without asking
rem   --keep-left            keep it as it is now and forget that run, without asking
rem   NAME...                only these runs (as the summary names them)
"%~dp0run_tests.exe" "%~dp0." %*
exit /b %errorlevel%
