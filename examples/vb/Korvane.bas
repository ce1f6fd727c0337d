Attribute VB_Name = "Korvane"
' Korvane.bas - KORVANE.dll from VB6 and VBA (Office), 32- and 64-bit.
'
' Import this module, put KORVANE.dll where the program finds it (beside the
' .exe, or in a folder on PATH; for Office, give the full path in the Declare
' lines), then:
'
'     Dim lines As Collection, line As Variant
'     Set lines = KorvaneDeviceLines("4B31")
'     For Each line In lines: Debug.Print line: Next
'
' 64-bit Office needs the 64-bit KORVANE.dll (package win64); 32-bit Office
' and VB6 the 32-bit one (win32). Both export the same names, so the same
' Alias serves both. Under VBA7 the PtrSafe lines below are used; VB6 and
' older VBA use the others.
Option Explicit

#If VBA7 Then
' The A form takes and gives text in the system's ANSI code page.
Private Declare PtrSafe Function EnumPrinterInfoA Lib "KORVANE.dll" Alias "_EnumPrinterInfoA@16" ( _
    ByVal productId As String, ByVal buffer As LongPtr, ByVal bufferSize As Long, ByRef bytesNeeded As Long) As Long
' The W form takes and gives UTF-16: pass StrPtr(productId).
Private Declare PtrSafe Function EnumPrinterInfoW Lib "KORVANE.dll" Alias "_EnumPrinterInfoW@16" ( _
    ByVal productId As LongPtr, ByVal buffer As LongPtr, ByVal bufferSize As Long, ByRef bytesNeeded As Long) As Long
Private Declare PtrSafe Sub CopyMemory Lib "kernel32" Alias "RtlMoveMemory" ( _
    ByVal destination As LongPtr, ByVal source As LongPtr, ByVal length As LongPtr)
Private Declare PtrSafe Function lstrlenW Lib "kernel32" (ByVal text As LongPtr) As Long
#Else
Private Declare Function EnumPrinterInfoA Lib "KORVANE.dll" Alias "_EnumPrinterInfoA@16" ( _
    ByVal productId As String, ByVal buffer As Long, ByVal bufferSize As Long, ByRef bytesNeeded As Long) As Long
Private Declare Function EnumPrinterInfoW Lib "KORVANE.dll" Alias "_EnumPrinterInfoW@16" ( _
    ByVal productId As Long, ByVal buffer As Long, ByVal bufferSize As Long, ByRef bytesNeeded As Long) As Long
Private Declare Sub CopyMemory Lib "kernel32" Alias "RtlMoveMemory" ( _
    ByVal destination As Long, ByVal source As Long, ByVal length As Long)
Private Declare Function lstrlenW Lib "kernel32" (ByVal text As Long) As Long
#End If

' How often the fill call is repeated while devices come and go between the two calls.
Private Const MaxAttempts As Long = 5

' The devices of productId (e.g. "4B31") as lines "name, port0, port2, OnLine|OffLine".
' Raises error vbObjectError + 1 when the registry walk fails or the devices keep changing.
Public Function KorvaneDeviceLines(ByVal productId As String) As Collection
    Dim needed As Long, size As Long, count As Long, attempt As Long
    Dim buffer() As Byte
    Set KorvaneDeviceLines = New Collection
    EnumPrinterInfoW StrPtr(productId), 0, 0, needed   ' returns -1: a size query
    For attempt = 1 To MaxAttempts
        size = needed
        ' A size of 0 is no device or a failed walk; a call with a buffer tells which.
        ReDim buffer(0 To IIf(size > 0, size - 1, 0))
        count = EnumPrinterInfoW(StrPtr(productId), VarPtr(buffer(0)), size, needed)
        If count >= 0 Then
            AddLines KorvaneDeviceLines, VarPtr(buffer(0)), count
            Exit Function
        End If
        ' -1 with a larger size: a device was plugged in between the calls.
        If needed <= size Then Err.Raise vbObjectError + 1, "KorvaneDeviceLines", "the registry walk failed"
    Next attempt
    Err.Raise vbObjectError + 1, "KorvaneDeviceLines", "the devices kept changing"
End Function

' Reads count records of PointerSize * 4 bytes each: the addresses of name,
' port0 and port2, then online (a Long), padded to the record size.
#If VBA7 Then
Private Sub AddLines(ByVal lines As Collection, ByVal records As LongPtr, ByVal count As Long)
    Dim address As LongPtr
#Else
Private Sub AddLines(ByVal lines As Collection, ByVal records As Long, ByVal count As Long)
    Dim address As Long
#End If
    Dim pointerSize As Long, i As Long, field As Long, online As Long
    Dim texts(0 To 2) As String
    pointerSize = LenB(address)
    For i = 0 To count - 1
        For field = 0 To 2
            CopyMemory VarPtr(address), AddressPlus(records, (4 * i + field) * pointerSize), pointerSize
            texts(field) = TextAt(address)
        Next field
        CopyMemory VarPtr(online), AddressPlus(records, (4 * i + 3) * pointerSize), 4
        lines.Add texts(0) & ", " & texts(1) & ", " & texts(2) & ", " & IIf(online <> 0, "OnLine", "OffLine")
    Next i
End Sub

'' address + offset as addresses add: a 32-bit process that is large-address
' aware has buffers above 2 GB, whose addresses a Long holds as negative
' numbers, and a plain sum that crosses 2 GB raises Overflow. Flipping the
' sign bit before and after adds the two as unsigned 32-bit numbers.
#If VBA7 Then
Private Function AddressPlus(ByVal address As LongPtr, ByVal offset As Long) As LongPtr
#Else
Private Function AddressPlus(ByVal address As Long, ByVal offset As Long) As Long
#End If
    If LenB(address) = 8 Then
        AddressPlus = address + offset
    Else
        AddressPlus = ((address Xor &H80000000) + offset) Xor &H80000000
    End If
End Function

' The UTF-16 string at address; an address of 0 is an empty string.
#If VBA7 Then
Private Function TextAt(ByVal address As LongPtr) As String
#Else
Private Function TextAt(ByVal address As Long) As String
#End If
    Dim length As Long
    If address = 0 Then Exit Function
    length = lstrlenW(address)
    TextAt = String$(length, vbNullChar)
    If length > 0 Then CopyMemory StrPtr(TextAt), address, 2 * length
End Function
