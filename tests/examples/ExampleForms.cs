// The forms of the examples' table, run through the C# wrapper (Korvane.cs,
// or the packaged Korvane.Interop.dll built from it), each giving the lines
// that run_examples.py and the .NET tests compare with the table's:
//
// "record NAME|PORT0|PORT2|ONLINE" per device ("<null>" for a null string),
// "error MESSAGE" for a KorvaneException, "layout ..." for the layout form,
// which calls the buffer export itself and reads the raw records.
using System;
using System.Collections.Generic;
using System.Runtime.InteropServices;
using System.Threading;
using Korvane;

public static class ExampleForms
{
    /// <summary>The lines that FORM gives for productId; ArgumentException for an unknown form.</summary>
    public static IList<string> Run(string form, string productId)
    {
        var lines = new List<string>();
        try
        {
            switch (form)
            {
                case "buffer-w": Print(lines, Devices.Enumerate(productId)); break;
                case "callback-w": Print(lines, Devices.EnumerateWithCallback(productId)); break;
                case "buffer-a": Print(lines, EnumerateAnsi(productId)); break;
                case "callback-a": Print(lines, EnumerateAnsiWithCallback(productId)); break;
                case "callback-w-gc": Print(lines, WhileCollecting(productId)); break;
                case "layout": Layout(lines, productId); break;
                default: throw new ArgumentException("unknown form " + form);
            }
        }
        catch (KorvaneException e)
        {
            lines.Add("error " + e.Message);
        }
        return lines;
    }

    static void Print(List<string> lines, IList<PrinterInfo> devices)
    {
        foreach (var d in devices)
            lines.Add("record " + Shown(d.Name) + "|" + Shown(d.Port0) + "|" + Shown(d.Port2) + "|" + (d.Online ? 1 : 0));
    }

    static string Shown(string text) { return text ?? "<null>"; }

    // The A forms through the wrapper's declarations, as the W forms' wrapper uses them.
    static IList<PrinterInfo> EnumerateAnsi(string productId)
    {
        uint needed = 0;
        NativeMethods.EnumPrinterInfoA(productId, IntPtr.Zero, 0, ref needed);
        IntPtr buffer = Marshal.AllocHGlobal((int)Math.Max(needed, 1u));
        try
        {
            int count = NativeMethods.EnumPrinterInfoA(productId, buffer, needed, ref needed);
            if (count < 0) throw new KorvaneException("the registry walk failed");
            var devices = new List<PrinterInfo>();
            int size = Marshal.SizeOf(typeof(NativeMethods.PackedPrinterInfo));
            for (int i = 0; i < count; ++i)
            {
                var r = (NativeMethods.PackedPrinterInfo)Marshal.PtrToStructure(IntPtr.Add(buffer, i * size),
                                                                                 typeof(NativeMethods.PackedPrinterInfo));
                devices.Add(new PrinterInfo(Marshal.PtrToStringAnsi(r.Name), Marshal.PtrToStringAnsi(r.Port0),
                                            Marshal.PtrToStringAnsi(r.Port2), r.Online != 0));
            }
            return devices;
        }
        finally
        {
            Marshal.FreeHGlobal(buffer);
        }
    }

    static IList<PrinterInfo> EnumerateAnsiWithCallback(string productId)
    {
        var devices = new List<PrinterInfo>();
        NativeMethods.EnumPrinterInfoProcA collect = (name, port0, port2, online, context) =>
        {
            devices.Add(new PrinterInfo(Marshal.PtrToStringAnsi(name), Marshal.PtrToStringAnsi(port0),
                                        Marshal.PtrToStringAnsi(port2), online != 0));
            return 1;
        };
        if (NativeMethods.EnumPrinterInfoCallbackA(productId, collect, UIntPtr.Zero) < 0)
            throw new KorvaneException("the registry walk failed");
        GC.KeepAlive(collect);
        return devices;
    }

    // The callback form called again and again while another thread forces
    // collections: a delegate the wrapper let go of would be collected under it.
    static IList<PrinterInfo> WhileCollecting(string productId)
    {
        bool done = false;
        var collector = new Thread(() => { while (!Volatile.Read(ref done)) { GC.Collect(); GC.WaitForPendingFinalizers(); } });
        collector.Start();
        IList<PrinterInfo> devices = null;
        try
        {
            for (int i = 0; i < 200; ++i)
            {
                var again = Devices.EnumerateWithCallback(productId);
                if (devices != null && again.Count != devices.Count) throw new KorvaneException("the results differ");
                devices = again;
            }
        }
        finally
        {
            Volatile.Write(ref done, true);
            collector.Join();
        }
        return devices;
    }

    // The raw records of the W buffer form: their size, their padding, and
    // whether every address lies inside the buffer.
    static void Layout(List<string> lines, string productId)
    {
        uint needed = 0;
        NativeMethods.EnumPrinterInfoW(productId, IntPtr.Zero, 0, ref needed);
        IntPtr buffer = Marshal.AllocHGlobal((int)needed);
        try
        {
            int count = NativeMethods.EnumPrinterInfoW(productId, buffer, needed, ref needed);
            int size = Marshal.SizeOf(typeof(NativeMethods.PackedPrinterInfo));
            lines.Add("layout record size " + size);
            long start = buffer.ToInt64(), end = start + needed;
            bool inside = count > 0, padding = true;
            for (int i = 0; i < count; ++i)
            {
                IntPtr record = IntPtr.Add(buffer, i * size);
                for (int field = 0; field < 3; ++field)
                {
                    long address = Marshal.ReadIntPtr(record, field * IntPtr.Size).ToInt64();
                    inside = inside && address >= start + (long)count * size && address < end;
                }
                for (int at = 3 * IntPtr.Size + 4; at < size; ++at) padding = padding && Marshal.ReadByte(record, at) == 0;
            }
            lines.Add("layout padding " + (padding ? "0" : "not 0"));
            lines.Add("layout addresses " + (inside ? "inside the buffer" : "outside the buffer"));
        }
        finally
        {
            Marshal.FreeHGlobal(buffer);
        }
    }
}
