' Creates Starwright.PlugIn by its ProgID, as an automation host does, and reads Name.
' Wine's cscript exits 0 even when the script fails, so the verdict is printed.
On Error Resume Next
Dim plugIn, name
Set plugIn = CreateObject("Starwright.PlugIn")
If Err.Number <> 0 Then
    WScript.Echo "FAIL: CreateObject: " & Hex(Err.Number) & " " & Err.Description
    WScript.Quit 1
End If
name = plugIn.Name
If Err.Number <> 0 Then
    WScript.Echo "FAIL: Name: " & Hex(Err.Number) & " " & Err.Description
ElseIf name <> "Starwright 1.0" Then
    WScript.Echo "FAIL: Name is """ & name & """"
Else
    WScript.Echo "PASS: Name is """ & name & """"
End If
