using System;
using System.Reflection;
using System.Runtime.CompilerServices;
using System.Runtime.InteropServices;

[assembly: AssemblyTitle("RpcTarvikAssembly")]
[assembly: AssemblyProduct("RpcTarvikAssembly")]
[assembly: AssemblyVersion("1.0.0.0")]
[assembly: CLSCompliant(true)]
[assembly: ComVisible(false)]
// The tests reach the host side's internals (the port actually listened on, the machine list).
[assembly: InternalsVisibleTo("Vortane.Tarvik.Rpc.Tests")]
