// ManagedConsumer: the managed twin of consumer, built against the installed assembly:
//   mcs -platform:x64 -r:P/lib/cli/vortane-tarvik-rpc/Vortane.Tarvik.Rpc.dll ManagedConsumer.cs
//   MONO_PATH=P/lib/cli/vortane-tarvik-rpc mono ManagedConsumer.exe PORT
// Sends T_DATA_M to the machine on 127.0.0.1:PORT and prints {"telegram":"T_DATA_M","status":N}.
using System;
using System.Globalization;
using Vortane.Tarvik.Rpc;

static class ManagedConsumer
{
  static int Main(string[] args)
  {
    int port;
    if (args.Length != 1 || !int.TryParse(args[0], NumberStyles.None, CultureInfo.InvariantCulture, out port) || port > 65535)
    {
      Console.Error.WriteLine("usage: ManagedConsumer.exe PORT");
      return 2;
    }
    using (var machine = new MachineClass())
    {
      machine.MachineIP = "127.0.0.1";
      machine.MachinePort = port;
      machine.MachineID = "CNC1";
      machine.HostPort = 0;  // any free port for the host endpoint it starts
      int status = machine.T_DATA_M(1, 3, "PART01", "");
      Console.WriteLine("{\"telegram\":\"T_DATA_M\",\"status\":" + status.ToString(CultureInfo.InvariantCulture) + "}");
    }
    return 0;
  }
}
