// The C# cases of the examples' table (written by the example_cases program,
// KORVANE_EXAMPLE_CASES), each run in this process through the packaged
// assembly: the host library is set up afresh for each case, as run_examples.py
// starts a process per case. The runtime finds the four entry points by the
// DLL's own names in KORVANE.dll beside the tests: the host library with its
// exports renamed (rename_exports.py).
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Runtime.InteropServices;
using Xunit;

[assembly: CollectionBehavior(DisableTestParallelization = true)]  // one host registry per process

public sealed class ExampleCaseRow
{
    public string Name, Languages, Form, Product = "", Registry, Between = "", CodePage, TaskMem;
    public string[] Calls;  // null: the table does not say
    public List<string> Expect = new List<string>();
}

public static class CaseTable
{
    public static readonly List<ExampleCaseRow> Cases = Read();

    static List<ExampleCaseRow> Read()
    {
        var program = new ProcessStartInfo(Setting("KORVANE_EXAMPLE_CASES")) { RedirectStandardOutput = true };
        var cases = new List<ExampleCaseRow>();
        ExampleCaseRow row = null;
        using (var process = Process.Start(program))
        {
            for (string line; (line = process.StandardOutput.ReadLine()) != null;)
            {
                int space = line.IndexOf(' ');
                string key = space < 0 ? line : line.Substring(0, space), value = space < 0 ? "" : line.Substring(space + 1);
                switch (key)
                {
                    case "case": row = new ExampleCaseRow { Name = value }; break;
                    case "languages": row.Languages = value; break;
                    case "form": row.Form = value; break;
                    case "product": row.Product = value; break;
                    case "registry": row.Registry = value; break;
                    case "between": row.Between = value; break;
                    case "code-page": row.CodePage = value; break;
                    case "task-mem": row.TaskMem = value; break;
                    case "calls": row.Calls = Words(value); break;
                    case "expect": row.Expect.Add(value); break;
                    case "end": cases.Add(row); break;
                    default: throw new InvalidDataException("unknown line in the table: " + line);
                }
            }
            process.WaitForExit();
            if (process.ExitCode != 0) throw new InvalidDataException("example_cases failed");
        }
        return cases;
    }

    public static string Setting(string name)
    {
        string value = Environment.GetEnvironmentVariable(name);
        if (string.IsNullOrEmpty(value)) throw new InvalidOperationException(name + " is not set");
        return value;
    }

    public static string[] Words(string text)
    {
        return text.Split(new[] { ' ', '\n' }, StringSplitOptions.RemoveEmptyEntries);
    }
}

public class CaseTableTest
{
    // The stand-in's settings, as host_library.cpp reads them from the environment.
    [DllImport("KORVANE.dll", EntryPoint = "korvane_host_configure")]
    static extern void ConfigureHost([MarshalAs(UnmanagedType.LPUTF8Str)] string settings);

    public static IEnumerable<object[]> CSharpCases()
    {
        return CaseTable.Cases.Where(c => CaseTable.Words(c.Languages).Contains("cs")).Select(c => new object[] { c.Name });
    }

    [Theory]
    [MemberData(nameof(CSharpCases))]
    public void GivesWhatTheTableSays(string name)
    {
        ExampleCaseRow row = CaseTable.Cases.Single(c => c.Name == name);
        string log = Path.Combine(Path.GetTempPath(), "korvane-dotnet-calls-" + Environment.ProcessId + ".log");
        File.Delete(log);
        string fixtures = CaseTable.Setting("KORVANE_FIXTURES");
        var settings = new List<string>
        {
            "KORVANE_HOST_REG=" + string.Join(":", CaseTable.Words(row.Registry).Select(f => Path.Combine(fixtures, f))),
            "KORVANE_HOST_BETWEEN_CALLS=" + row.Between,
            "KORVANE_HOST_CALL_LOG=" + log,
        };
        if (row.CodePage != null) settings.Add("KORVANE_HOST_CODE_PAGE=" + row.CodePage);
        if (row.TaskMem != null) settings.Add("KORVANE_HOST_TASK_MEM=" + row.TaskMem);
        ConfigureHost(string.Join("\n", settings));

        IList<string> lines = ExampleForms.Run(row.Form, row.Product);
        string[] calls = File.Exists(log) ? CaseTable.Words(File.ReadAllText(log)) : new string[0];
        File.Delete(log);

        Assert.Equal(row.Expect, lines);
        if (row.Calls != null) Assert.Equal(row.Calls, calls);
    }
}
