' sms.vbs: prints every SMS that Pelvaro receives. Start it in the folder that holds
' SerComm.ini, with the script host that matches the registered Pelvaro.dll:
'   %SystemRoot%\SysWOW64\cscript //nologo sms.vbs   the 32-bit one (x86) on 64-bit Windows
'   cscript //nologo sms.vbs                         the 64-bit one (x64), or on 32-bit Windows
' With "Full Decoding=1" under [SerComm Options] in SerComm.ini, Sender holds the sender's number
' or name and MsgText every alphabet, emoji included (a console shows what its font has); without
' it, Sender holds the word "Sender". "Full Modem Support=1" with "Port=auto" and "PIN=..." sets up
' a modem just out of its box, and loses no message even when this script is stopped.
Option Explicit
Dim sms
' The prefix "Sms_" connects the two Subs below to the events.
Set sms = WScript.CreateObject("Pelvaro.ReadSms", "Sms_")
On Error Resume Next
sms.StartReceiving False
If Err.Number <> 0 Then
    ' With "Full Modem Support=1", Err.Description says why: the SIM's PIN, the port, the modem.
    WScript.Echo "No modem answers on the port that SerComm.ini names (0x" & Hex(Err.Number) & _
        ") " & Err.Description
    WScript.Quit 1
End If
On Error GoTo 0
WScript.Echo "Waiting for SMS; Ctrl+C ends."
Do
    WScript.Sleep 500   ' lets the timer and the events run
Loop

Sub Sms_OnNewSms(Sender, ServCenter, MsgText)
    WScript.Echo Now & " from " & Sender & vbCrLf & MsgText & vbCrLf
End Sub

Sub Sms_TestEvent()
    WScript.Echo Now & ": the modem does not answer"
End Sub
