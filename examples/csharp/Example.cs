// Lists the devices of one product id (default 4B31), one line each, as the
// tester window shows them. Build: csc Example.cs Korvane.cs (or add both
// files to a project), and put KORVANE.dll beside the program.
using System;

namespace Korvane
{
    public static class Example
    {
        public static int Main(string[] args)
        {
            string productId = args.Length > 0 ? args[0] : "4B31";
            try
            {
                var devices = Devices.Enumerate(productId);
                foreach (var device in devices) Console.WriteLine(device);
                return devices.Count > 0 ? 0 : 1;
            }
            catch (KorvaneException e)
            {
                Console.Error.WriteLine("korvane: " + e.Message);
                return 2;
            }
            catch (DllNotFoundException)
            {
                Console.Error.WriteLine("korvane: KORVANE.dll not found: put it beside the program");
                return 3;
            }
            catch (BadImageFormatException)
            {
                Console.Error.WriteLine("korvane: KORVANE.dll is not for a " + (IntPtr.Size * 8) +
                                        "-bit process: use the " + (IntPtr.Size == 8 ? "win64" : "win32") + " package's");
                return 3;
            }
            catch (EntryPointNotFoundException e)
            {
                Console.Error.WriteLine("korvane: KORVANE.dll lacks a function (" + e.Message + "): is it another DLL?");
                return 3;
            }
        }
    }
}
