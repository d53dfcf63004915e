' The control by name from VBScript: properties, methods and COM errors.
Option Explicit
Dim failures : failures = 0
Sub Check(ok, what)
  If Not ok Then
    WScript.Echo "FAILED: " & what
    failures = failures + 1
  End If
End Sub

Dim client : Set client = CreateObject("MORAVEX1.ChartServiceClient")
Check client.LoginAndConnectTimeout = 5000 And client.DataRequestTimeout = 5000 _
  And client.SessionInfoTimeout = 5000, "time-outs start at 5000"
client.DataRequestTimeout = 250
Check client.DataRequestTimeout = 250, "time-out set by name"
Check client.Connected() = False And client.LoggedIn() = False, "Connected and LoggedIn are False"

On Error Resume Next
client.Disconnect
Check Err.Number = -2147221504, "Disconnect: number " & Err.Number
Check Err.Source = "ChartServiceClient:Disconnect", "Disconnect: source " & Err.Source
Check Err.Description = "Not connected", "Disconnect: description " & Err.Description
Err.Clear
client.SendDebugMessage "hello"
Check Err.Number = -2147221504 And Err.Source = "ChartServiceClient:SendDbgMsg", _
  "SendDebugMessage: " & Err.Number & " " & Err.Source
Err.Clear
client.GetSessionTime
Check Err.Number = -2147221504 And Err.Source = "ChartServiceClient:GetSessionTime", "GetSessionTime"
On Error Goto 0

Set client = Nothing
If failures = 0 Then WScript.Echo "script: passed"
WScript.Quit failures
