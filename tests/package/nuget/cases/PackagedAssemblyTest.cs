// What a caller binds to: the packaged assembly's name, strong name and versions.
using System;
using System.Reflection;
using Xunit;

public class PackagedAssemblyTest
{
    [Fact]
    public void IsStrongNamedAndCarriesTheBuildsVersion()
    {
        Assembly assembly = typeof(Korvane.Devices).Assembly;
        AssemblyName name = assembly.GetName();
        string version = CaseTable.Setting("KORVANE_VERSION");

        Assert.Equal("Korvane.Interop", name.Name);
        Assert.Equal(8, name.GetPublicKeyToken().Length);
        Assert.Equal(new Version(int.Parse(version.Split('.')[0]), 0, 0, 0), name.Version);
        Assert.Equal(version, assembly.GetCustomAttribute<AssemblyInformationalVersionAttribute>().InformationalVersion);
    }
}
