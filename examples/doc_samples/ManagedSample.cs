// ManagedSample.exe: the walk-through of docs/managed.md as one program. One MachineClass for a
// machine on 127.0.0.1, its host endpoint on a free port; it sends C_ORDER_M and prints every
// R_MESSAGE_H that arrives until Shutdown_H or WAIT_MS.
//
//   mono ManagedSample.exe MACHINE_PORT [WAIT_MS]
//
// Prints {"listening":P} (or {"error":STATUS}), {"telegram":"C_ORDER_M","status":S}, then
// {"event":"RxMESSAGExH","message":TEXT} per message and {"event":"ShutdownH"}.
using System;
using System.Globalization;
using System.Threading;
using Vortane.Tarvik.Rpc;

public static class ManagedSample
{
  public static int Main(string[] args)
  {
    if (args.Length < 1 || args.Length > 2)
    {
      Console.Error.WriteLine("usage: mono ManagedSample.exe MACHINE_PORT [WAIT_MS]");
      return 2;
    }
    int machinePort = int.Parse(args[0], CultureInfo.InvariantCulture);
    int waitMs = args.Length == 2 ? int.Parse(args[1], CultureInfo.InvariantCulture) : 0;
    ManualResetEvent shutdown = new ManualResetEvent(false);
    object output = new object();

    MachineClass m = new MachineClass();
    m.HostID = "HOST1";            // shared by every MachineClass of the process
    m.HostPort = 0;                // 0: a free port, HostListeningPort tells which
    m.MachineID = "MC01";          // matched exactly against incoming telegrams (case counts)
    m.MachineIP = "127.0.0.1";
    m.MachinePort = machinePort;
    // Handlers run on the RPC runtime's threads, several at once: keep them short and thread-safe.
    m.RxMESSAGExH += (machine, orderNum, message, resInt1, resInt2, resByte) =>
    {
      lock (output) Console.WriteLine("{\"event\":\"RxMESSAGExH\",\"message\":\"" + message + "\"}");
    };
    m.ShutdownH += machine =>
    {
      lock (output) Console.WriteLine("{\"event\":\"ShutdownH\"}");
      shutdown.Set();
    };

    int started = m.StartHost();   // as HostEnabled = true, but says why a start failed
    if (started != 0)
    {
      Console.WriteLine("{\"error\":" + started + "}");   // 1720: HostPort belongs to another program
      return 1;
    }
    lock (output) Console.WriteLine("{\"listening\":" + m.HostListeningPort + "}");

    int status = m.C_ORDER_M(2, 1, "PART01", "", "", "", 250, 0, 0, 0);   // 0 or the machine's status
    lock (output) Console.WriteLine("{\"telegram\":\"C_ORDER_M\",\"status\":" + status + "}");

    shutdown.WaitOne(waitMs);
    m.Dispose();                   // stops this object receiving; the endpoint keeps running
    return 0;
  }
}
