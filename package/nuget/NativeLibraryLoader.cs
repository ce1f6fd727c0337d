// The part of the packaged assembly that Korvane.cs as a loose file lacks:
// choosing the KORVANE.dll of the process's bitness.
//
// A .NET (Core) program gets the right DLL from the package's
// runtimes/win-x86|win-x64/native folders by its runtime identifier, and needs
// nothing here. A .NET Framework program has no such step: Korvane.targets
// copies both DLLs into its output as x86\KORVANE.dll and x64\KORVANE.dll, and
// the class constructor below, which the runtime runs before the first call
// to any of the four exports, loads the one that matches the process by its
// full path. The DllImport of "KORVANE.dll" then binds to that loaded module,
// whatever the search path. SetDllDirectory would do the same for the whole
// process, and change where every other DLL of a host (Excel, say) is looked for.
using System;
using System.IO;
using System.Runtime.InteropServices;

namespace Korvane
{
    public static partial class NativeMethods
    {
        static NativeMethods()
        {
            NativeLibraryLoader.LoadForThisProcess();
        }
    }

    internal static class NativeLibraryLoader
    {
        private const string DllName = "KORVANE.dll";

        /// <summary>
        /// Loads x86\KORVANE.dll or x64\KORVANE.dll, by the process's bitness, from beside this
        /// assembly (or the application's base folder, where the assembly was shadow-copied), when
        /// there is one; else leaves the finding to the runtime. Never throws: an exception here
        /// would make the class unusable for the life of the process; where the file cannot be
        /// loaded, the first call fails as it would without this, with DllNotFoundException.
        /// </summary>
        internal static void LoadForThisProcess()
        {
            if (Environment.OSVersion.Platform != PlatformID.Win32NT) return;
            string folder = Environment.Is64BitProcess ? "x64" : "x86";
            foreach (string directory in new[] { AssemblyDirectory(), AppDomain.CurrentDomain.BaseDirectory })
            {
                if (string.IsNullOrEmpty(directory)) continue;
                string path = Path.Combine(Path.Combine(directory, folder), DllName);
                if (File.Exists(path) && LoadLibraryW(path) != IntPtr.Zero) return;
            }
        }

        private static string AssemblyDirectory()
        {
            string location = typeof(NativeLibraryLoader).Assembly.Location;
            return string.IsNullOrEmpty(location) ? null : Path.GetDirectoryName(location);
        }

        [DllImport("kernel32.dll", CharSet = CharSet.Unicode, ExactSpelling = true)]
        private static extern IntPtr LoadLibraryW(string path);
    }
}
