// Korvane.cs - KORVANE.dll from C#: the P/Invoke declarations and a small
// managed wrapper. Add this file to your project and call
//
//     foreach (var device in Korvane.Devices.Enumerate("4B31"))
//         Console.WriteLine(device);
//
// The NuGet package Korvane is this file compiled (Korvane.Interop.dll) with
// both DLLs, and picks the one that matches the process itself. Used as a
// loose file, the same code runs in a 32-bit and in a 64-bit process: put the
// KORVANE.dll of the matching package beside your program, win32 when the
// process is 32-bit (Environment.Is64BitProcess false, IntPtr.Size 4: also an
// AnyCPU program with "Prefer 32-bit" on, as Visual Studio's .NET Framework
// application templates set it), else win64. Both DLLs export the same four
// names, so one declaration serves both, and the records are decoded with the
// process's own pointer size.
using System;
using System.Collections.Generic;
using System.Runtime.InteropServices;

namespace Korvane
{
    /// <summary>One installed device.</summary>
    public sealed class PrinterInfo
    {
        /// <summary>A device's record, with the strings copied from the library's.</summary>
        public PrinterInfo(string name, string port0, string port2, bool online)
        {
            Name = name;
            Port0 = port0;
            Port2 = port2;
            Online = online;
        }

        /// <summary>The spooler printer's name.</summary>
        public string Name { get; private set; }
        /// <summary>COM port of interface 0, at most 6 characters.</summary>
        public string Port0 { get; private set; }
        /// <summary>COM port of interface 2, at most 6 characters.</summary>
        public string Port2 { get; private set; }
        /// <summary>Whether the device is connected now.</summary>
        public bool Online { get; private set; }

        /// <summary>"name, port0, port2, OnLine|OffLine", as the tester window shows it.</summary>
        public override string ToString()
        {
            return Name + ", " + Port0 + ", " + Port2 + ", " + (Online ? "OnLine" : "OffLine");
        }
    }

    /// <summary>The registry walk failed, or the devices kept changing while they were read.</summary>
    public sealed class KorvaneException : Exception
    {
        /// <summary>A failure, said in <paramref name="message"/>.</summary>
        public KorvaneException(string message) : base(message) { }
    }

    /// <summary>The four exports, as korvane.h declares them.</summary>
    public static partial class NativeMethods
    {
        /// <summary>One record of a packed result buffer: 16 bytes in a 32-bit process, 32 in a 64-bit one.</summary>
        [StructLayout(LayoutKind.Sequential)]
        public struct PackedPrinterInfo
        {
            /// <summary>The printer's name, a NUL-terminated string in the buffer; 0 for an empty one.</summary>
            public IntPtr Name;
            /// <summary>Interface 0's COM port, as <see cref="Name"/>.</summary>
            public IntPtr Port0;
            /// <summary>Interface 2's COM port, as <see cref="Name"/>.</summary>
            public IntPtr Port2;
            /// <summary>1 when the device is connected now, else 0.</summary>
            public int Online;
        }

        /// <summary>Called once per device with UTF-16 strings that live only during the call; return nonzero to go on.</summary>
        [UnmanagedFunctionPointer(CallingConvention.StdCall)]
        public delegate int EnumPrinterInfoProcW(IntPtr name, IntPtr port0, IntPtr port2, int online, UIntPtr context);

        /// <summary>Called once per device with strings in the ANSI code page that live only during the call.</summary>
        [UnmanagedFunctionPointer(CallingConvention.StdCall)]
        public delegate int EnumPrinterInfoProcA(IntPtr name, IntPtr port0, IntPtr port2, int online, UIntPtr context);

        // bytesNeeded is ref, not out: the library leaves it as the caller set it when the walk fails.
        /// <summary>The devices of productId as packed records in buffer; the count, or -1 with the size needed in bytesNeeded.</summary>
        [DllImport("KORVANE.dll", EntryPoint = "_EnumPrinterInfoW@16", CallingConvention = CallingConvention.StdCall,
                   CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern int EnumPrinterInfoW(string productId, IntPtr buffer, uint bufferSize, ref uint bytesNeeded);

        /// <summary>As <see cref="EnumPrinterInfoW"/>, the strings in the ANSI code page.</summary>
        [DllImport("KORVANE.dll", EntryPoint = "_EnumPrinterInfoA@16", CallingConvention = CallingConvention.StdCall,
                   CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern int EnumPrinterInfoA(string productId, IntPtr buffer, uint bufferSize, ref uint bytesNeeded);

        /// <summary>Calls callback once per device of productId; the count, or -1 when the walk failed.</summary>
        [DllImport("KORVANE.dll", EntryPoint = "_EnumPrinterInfoCallbackW@12", CallingConvention = CallingConvention.StdCall,
                   CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern int EnumPrinterInfoCallbackW(string productId, EnumPrinterInfoProcW callback, UIntPtr context);

        /// <summary>As <see cref="EnumPrinterInfoCallbackW"/>, the strings in the ANSI code page.</summary>
        [DllImport("KORVANE.dll", EntryPoint = "_EnumPrinterInfoCallbackA@12", CallingConvention = CallingConvention.StdCall,
                   CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern int EnumPrinterInfoCallbackA(string productId, EnumPrinterInfoProcA callback, UIntPtr context);
    }

    /// <summary>The devices of one product id, through the UTF-16 exports.</summary>
    public static class Devices
    {
        /// <summary>How often a fill call is repeated while devices come and go between the two calls.</summary>
        public const int MaxAttempts = 5;

        /// <summary>
        /// The devices of productId (e.g. "4B31"), through the buffer export: a size query, then
        /// a fill call with a buffer of that size. A fill call that returns -1 with a larger size
        /// means a device was plugged in between the calls; it is repeated with the new size.
        /// </summary>
        public static IList<PrinterInfo> Enumerate(string productId)
        {
            if (productId == null) throw new ArgumentNullException("productId");
            uint needed = 0;
            NativeMethods.EnumPrinterInfoW(productId, IntPtr.Zero, 0, ref needed);  // returns -1: a size query
            for (int attempt = 0; attempt < MaxAttempts; ++attempt)
            {
                uint size = needed;
                // A size of 0 is no device or a failed walk; a call with a buffer tells which.
                IntPtr buffer = Marshal.AllocHGlobal(new IntPtr(Math.Max(size, 1u)));
                try
                {
                    int count = NativeMethods.EnumPrinterInfoW(productId, buffer, size, ref needed);
                    if (count >= 0) return Decode(buffer, count);
                    if (needed <= size) throw new KorvaneException("the registry walk failed");
                }
                finally
                {
                    Marshal.FreeHGlobal(buffer);
                }
            }
            throw new KorvaneException("the devices kept changing; tried " + MaxAttempts + " times");
        }

        /// <summary>The devices of productId, through the callback export.</summary>
        public static IList<PrinterInfo> EnumerateWithCallback(string productId)
        {
            if (productId == null) throw new ArgumentNullException("productId");
            var devices = new List<PrinterInfo>();
            NativeMethods.EnumPrinterInfoProcW collect = (name, port0, port2, online, context) =>
            {
                // The strings belong to the library and live only while the callback runs: copy them.
                devices.Add(new PrinterInfo(Text(name), Text(port0), Text(port2), online != 0));
                return 1;
            };
            int count = NativeMethods.EnumPrinterInfoCallbackW(productId, collect, UIntPtr.Zero);
            GC.KeepAlive(collect);
            if (count < 0) throw new KorvaneException("the registry walk failed");
            return devices;
        }

        // Records are PackedPrinterInfo in this process's own layout; an address of 0 is an empty string.
        private static IList<PrinterInfo> Decode(IntPtr buffer, int count)
        {
            int recordSize = Marshal.SizeOf(typeof(NativeMethods.PackedPrinterInfo));
            var devices = new List<PrinterInfo>(count);
            for (int i = 0; i < count; ++i)
            {
                // IntPtr.Add, not new IntPtr(ToInt64() + ...): in a 32-bit process with large
                // addresses a buffer above 2 GB would not fit the 32-bit IntPtr constructor.
                var record = (NativeMethods.PackedPrinterInfo)Marshal.PtrToStructure(
                    IntPtr.Add(buffer, i * recordSize), typeof(NativeMethods.PackedPrinterInfo));
                devices.Add(new PrinterInfo(Text(record.Name), Text(record.Port0), Text(record.Port2), record.Online != 0));
            }
            return devices;
        }

        private static string Text(IntPtr utf16)
        {
            return utf16 == IntPtr.Zero ? "" : Marshal.PtrToStringUni(utf16);
        }
    }
}
