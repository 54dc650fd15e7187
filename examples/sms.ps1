# sms.ps1: prints every SMS that Pelvaro receives. In a 64-bit PowerShell it needs the x64
# Pelvaro.dll registered; a 32-bit one (%SystemRoot%\SysWOW64\WindowsPowerShell) needs x86.
# Pelvaro's timer and events run on the thread that called StartReceiving, so the script runs
# in a single-threaded apartment (Windows PowerShell has one; start pwsh with -STA) and keeps
# handling that thread's window messages. "Full Decoding=1" under [SerComm Options] in SerComm.ini
# gives the sender's number or name in $from and every alphabet in $text.
#   powershell -ExecutionPolicy Bypass -File sms.ps1 [-Folder C:\Sms] [-Seconds 60]
param(
    # The folder of SerComm.ini.
    [string]$Folder = $PSScriptRoot,
    # How long to listen; 0 listens until Ctrl+C.
    [int]$Seconds = 0
)
$ErrorActionPreference = 'Stop'
if ([Threading.Thread]::CurrentThread.GetApartmentState() -ne 'STA') {
    throw 'Start this script in a single-threaded apartment: powershell.exe, or pwsh -STA'
}
Add-Type -AssemblyName System.Windows.Forms

# Pelvaro reads .\SerComm.ini from the process's current folder, which Set-Location leaves alone.
[Environment]::CurrentDirectory = (Resolve-Path $Folder).Path
$sms = New-Object -ComObject Pelvaro.ReadSms

# The events of _IReadSmsEvents, by DISPID: 1 TestEvent, 2 OnNewSms(Sender, ServCenter, MsgText).
$events = [guid]'6452C602-FD7C-4887-B866-017ED413E088'
$onNewSms = [Action[string, string, string]] {
    param($from, $centre, $text)
    Write-Host "$(Get-Date) from $from`n$text`n"
}
$onTestEvent = [Action] { Write-Host "$(Get-Date): the modem does not answer" }
[Runtime.InteropServices.ComEventsHelper]::Combine($sms, $events, 2, $onNewSms)
[Runtime.InteropServices.ComEventsHelper]::Combine($sms, $events, 1, $onTestEvent)
try {
    try {
        $sms.StartReceiving($false)
    } catch {
        throw "No modem answers on the port that SerComm.ini in $Folder names ($($_.Exception.Message))"
    }
    Write-Host 'Waiting for SMS; Ctrl+C ends.'
    $end = if ($Seconds -gt 0) { (Get-Date).AddSeconds($Seconds) } else { [DateTime]::MaxValue }
    while ((Get-Date) -lt $end) {
        [System.Windows.Forms.Application]::DoEvents()   # runs Pelvaro's timer and events
        Start-Sleep -Milliseconds 200
    }
} finally {
    $sms.Close()
    [Runtime.InteropServices.ComEventsHelper]::Remove($sms, $events, 2, $onNewSms) | Out-Null
    [Runtime.InteropServices.ComEventsHelper]::Remove($sms, $events, 1, $onTestEvent) | Out-Null
    [void][Runtime.InteropServices.Marshal]::ReleaseComObject($sms)
}
