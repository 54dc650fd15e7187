Attribute VB_Name = "SmsDemo"
' SmsDemo: starts and stops an SmsReceiver for the first sheet of this workbook (Alt+F8).
' Excel handles the receiver's timer while it is idle; SerComm.ini lies beside the workbook:
'   [SerComm Options]
'   Port=3
'   Full Decoding=1      the sender's number or name, every alphabet, long messages whole
Option Explicit

Private Receiver As SmsReceiver

Public Sub StartSms()
    StopSms
    Set Receiver = New SmsReceiver
    Receiver.StartReceiving ThisWorkbook.Worksheets(1), ThisWorkbook.Path
End Sub

Public Sub StopSms()
    If Not Receiver Is Nothing Then Receiver.StopReceiving
    Set Receiver = Nothing
End Sub
