// Runs one case of the examples' table through the C# wrapper and prints the
// lines it gave (ExampleForms.cs), for run_examples.py to compare:
//
//   mono ExampleCase.exe FORM PRODUCT_ID
using System;

public static class ExampleCase
{
    public static int Main(string[] args)
    {
        string form = args[0], productId = args.Length > 1 ? args[1] : "";
        try
        {
            foreach (string line in ExampleForms.Run(form, productId)) Console.WriteLine(line);
        }
        catch (ArgumentException e)
        {
            Console.WriteLine(e.Message);
            return 2;
        }
        return 0;
    }
}
