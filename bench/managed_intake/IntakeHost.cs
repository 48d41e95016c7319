using System;
using System.Runtime.InteropServices;
using System.Threading;
using Vortane.Tarvik.Rpc;

// The managed end of BM_ManagedEventIntake: one MachineClass "MC" of host "HB" whose RxMESSAGExH
// handler counts, on a free port. Prints the port, then runs until its standard input closes and
// prints the count.
public static class IntakeHost
{
  private static int s_Count;

  [DllImport("VortaneTarvikNative", CallingConvention = CallingConvention.Cdecl)]
  private static extern int tarvik_host_listening_port();

  public static int Main()
  {
    MachineClass m = new MachineClass();
    m.MachineID = "MC";
    m.HostID = "HB";
    m.HostPort = 0;
    m.RxMESSAGExH += (machine, order, message, resInt1, resInt2, resByte) => Interlocked.Increment(ref s_Count);
    m.HostEnabled = true;
    if (!m.HostEnabled) return 1;
    Console.Out.WriteLine(tarvik_host_listening_port());
    Console.Out.Flush();
    while (Console.In.ReadLine() != null)
    {
    }
    Console.Out.WriteLine(Volatile.Read(ref s_Count));
    return 0;
  }
}
