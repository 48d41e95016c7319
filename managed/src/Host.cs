using System;
using System.Collections.Generic;

namespace Vortane.Tarvik.Rpc
{
  // The host side that every MachineClass of the process shares: HostID, HostPort, the host
  // endpoint and the machine list. Exactly one exists (MachineClass.m_Host); it lives as long as
  // the assembly.
  //
  // Threads: the routine Receive runs on RPC runtime threads, several at once. The machine list is
  // an array replaced as a whole under m_MachineListLock by add and remove; lookup and the
  // Shutdown_H walk read the current array without the lock, so telegrams arriving on many threads
  // at once do not queue on it, and no lock is held while an event handler runs. HostID is replaced
  // as a whole (a reference write).
  internal sealed class Host
  {
    private const int WrongHostName = -110;
    private const int NoSuchMachine = -111;

    // The callback that native code calls, referenced here for the life of the process so that the
    // collector never frees it while runtime threads can still call it.
    private static NativeMethods.TelegramCallback s_Receive;

    private volatile string m_HostID = "?";
    private int m_HostPort = 3010;
    private volatile MachineClass[] m_MachineList = new MachineClass[0];  // creation order
    private readonly object m_MachineListLock = new object();

    internal Host()
    {
      NativeMethods.tarvik_host_set_id(m_HostID);
      NativeMethods.tarvik_host_set_port(m_HostPort);
      s_Receive = Receive;
      NativeMethods.tarvik_host_set_callback(s_Receive);
      // Once the runtime goes away no telegram may call into it: they are answered -111 instead.
      AppDomain.CurrentDomain.ProcessExit += Detach;
      AppDomain.CurrentDomain.DomainUnload += Detach;
    }

    internal string HostID
    {
      get { return m_HostID; }
      set
      {
        m_HostID = value;
        NativeMethods.tarvik_host_set_id(value);
      }
    }

    // Taken at the next start of the endpoint; a running endpoint is not touched.
    internal int HostPort
    {
      get { return m_HostPort; }
      set
      {
        m_HostPort = value;
        NativeMethods.tarvik_host_set_port(value);
      }
    }

    // The registered mark lives with the endpoint, since sending any telegram starts it natively.
    internal bool HostEnabled
    {
      get { return NativeMethods.tarvik_host_enabled() != 0; }
    }

    // The TCP port the endpoint listens on (the one the runtime chose when HostPort is 0).
    internal int ListeningPort
    {
      get { return NativeMethods.tarvik_host_listening_port(); }
    }

    // The status of the last start through HostEnabled or StartHost (telegrams start the endpoint
    // natively and report through their own status).
    private volatile int m_LastStartStatus;

    internal int LastStartStatus
    {
      get { return m_LastStartStatus; }
    }

    internal int RpcHostEnable()
    {
      int status = NativeMethods.tarvik_host_enable();
      m_LastStartStatus = status;
      return status;
    }

    internal int RpcHostDisable()
    {
      return NativeMethods.tarvik_host_disable();
    }

    internal void MachineAdd(MachineClass machine)
    {
      if (machine == null) return;
      lock (m_MachineListLock)
      {
        List<MachineClass> list = new List<MachineClass>(m_MachineList);
        list.Add(machine);
        m_MachineList = list.ToArray();
      }
    }

    internal void MachineRemove(MachineClass machine)
    {
      if (machine == null) return;
      lock (m_MachineListLock)
      {
        List<MachineClass> list = new List<MachineClass>(m_MachineList);
        if (list.Remove(machine)) m_MachineList = list.ToArray();
      }
    }

    // The first object in creation order whose MachineID equals machineID exactly; null if none.
    internal MachineClass MachineGet(string machineID)
    {
      foreach (MachineClass machine in m_MachineList)
        if (string.Equals(machine.MachineID, machineID, StringComparison.Ordinal)) return machine;
      return null;
    }

    // The list as it is now; never changed afterwards (add and remove replace the whole array).
    internal MachineClass[] MachineSnapshot()
    {
      return m_MachineList;
    }

    // The host routine of every `_H` telegram, on an RPC runtime thread. Whatever goes wrong
    // (a handler throwing included) the machine is answered 0 and the exception goes no further.
    private int Receive(int opnum, IntPtr fieldPointer, int count)
    {
      try
      {
        if (opnum == MachineClass.ShutdownHOpnum)
        {
          ShutdownWalk();
          return 0;
        }
        IncomingFields fields = new IncomingFields(fieldPointer, count);
        string host = fields.Text(0);
        string machineName = fields.Text(1);
        if (!string.Equals(host, m_HostID, StringComparison.Ordinal)) return WrongHostName;
        MachineClass machine = MachineGet(machineName);
        if (machine == null) return NoSuchMachine;
        MachineClass.Deliver(machine, opnum, fields);
        return 0;
      }
      catch
      {
        return 0;
      }
    }

    // ShutdownH on every object in creation order; a handler that throws ends the walk. The walk
    // goes through the array current when it starts (an object disposed meanwhile may still get this
    // one ShutdownH).
    private void ShutdownWalk()
    {
      foreach (MachineClass machine in MachineSnapshot()) machine.rShutdown_H();
    }

    private static void Detach(object sender, EventArgs e)
    {
      NativeMethods.tarvik_host_set_callback(null);
    }
  }
}
