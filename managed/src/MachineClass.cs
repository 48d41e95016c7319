using System;

namespace Vortane.Tarvik.Rpc
{
  /// <summary>
  /// One machine controller: its settings, the telegram methods that send the `_M` telegrams
  /// (each returns the machine's status or the failure's status and never throws), and the events
  /// that deliver the machine's `_H` telegrams on RPC runtime threads. All objects of a process
  /// share one host side (HostID, HostPort, the host endpoint).
  /// </summary>
  public partial class MachineClass : IDisposable
  {
    private const int ServerUnavailable = 1722;

    internal static readonly Host m_Host;

    private volatile string m_MachineID = "?";
    private string m_MachineIP = "?";
    private int m_MachinePort = 3011;
    private int m_MachineTimeout = 5;
    // The binding handle of the native connection as last seen by this object; null while unbound.
    private IntPtr m_hMevrix = IntPtr.Zero;
    private readonly MachineHandle m_Connection;

    static MachineClass()
    {
      m_Host = new Host();
    }

    /// <summary>A machine "?" at "?", port 3011, time-out level 5, not yet bound; it receives
    /// telegrams from now until it is disposed.</summary>
    public MachineClass()
    {
      m_Connection = NativeMethods.tarvik_machine_create();
      if (m_Connection.IsInvalid) throw new OutOfMemoryException("no native machine connection");
      m_Host.MachineAdd(this);
    }

    /// <summary>The machine's name: sent with every telegram and matched exactly (case counts)
    /// against the machine name of incoming telegrams. Stored unchanged.</summary>
    public string MachineID
    {
      get { return m_MachineID; }
      set
      {
        m_MachineID = value;
        NativeMethods.tarvik_machine_set_id(m_Connection, value);
      }
    }

    /// <summary>The machine's IP address or network name (null: this computer). A new value is used
    /// once a failed telegram has dropped the current binding.</summary>
    public string MachineIP
    {
      get { return m_MachineIP; }
      set
      {
        m_MachineIP = value;
        NativeMethods.tarvik_machine_set_ip(m_Connection, value);
      }
    }

    /// <summary>The machine's TCP port. A new value is used once a failed telegram has dropped the
    /// current binding.</summary>
    public int MachinePort
    {
      get { return m_MachinePort; }
      set
      {
        m_MachinePort = value;
        NativeMethods.tarvik_machine_set_port(m_Connection, value);
      }
    }

    /// <summary>The runtime's relative communication time-out (0 shortest, 5 default, 9 longest, 10
    /// none), handed on unchecked: a value the runtime refuses makes binding fail with its status.
    /// A new value is used at the next binding.</summary>
    public int MachineTimeout
    {
      get { return m_MachineTimeout; }
      set
      {
        m_MachineTimeout = value;
        NativeMethods.tarvik_machine_set_timeout(m_Connection, value);
      }
    }

    /// <summary>This host's name, shared by all objects: sent with every telegram, and incoming
    /// telegrams must carry it exactly.</summary>
    public string HostID
    {
      get { return m_Host.HostID; }
      set { m_Host.HostID = value; }
    }

    /// <summary>The host endpoint's TCP port, shared by all objects; used at the next start.</summary>
    public int HostPort
    {
      get { return m_Host.HostPort; }
      set { m_Host.HostPort = value; }
    }

    /// <summary>Whether the host endpoint is registered. Setting a different value starts or stops
    /// it; the outcome is not reported (read the property back). Every telegram sent starts it.</summary>
    public bool HostEnabled
    {
      get { return m_Host.HostEnabled; }
      set
      {
        if (value == m_Host.HostEnabled) return;
        if (value)
          m_Host.RpcHostEnable();
        else
          m_Host.RpcHostDisable();
      }
    }

    /// <summary>The TCP port the host endpoint listens on: HostPort, or the free port the runtime
    /// chose when HostPort was 0. 0 before the endpoint was first started. Shared by all objects.</summary>
    public int HostListeningPort
    {
      get { return m_Host.ListeningPort; }
    }

    /// <summary>Starts the host endpoint on HostPort, as setting HostEnabled to true does, and
    /// returns the outcome: 0 when it runs (also when it already ran), else the RPC status, such
    /// as 1720 for a port that another program holds. Shared by all objects.</summary>
    public int StartHost()
    {
      return m_Host.RpcHostEnable();
    }

    /// <summary>The outcome of the last start of the host endpoint through HostEnabled = true or
    /// StartHost(): 0 when it started (or none was tried yet), else the RPC status of the failure
    /// (1720: HostPort is held by another program). The start that each telegram makes is
    /// reported by the telegram's own status instead. Shared by all objects.</summary>
    public int HostStartStatus
    {
      get { return m_Host.LastStartStatus; }
    }

    /// <summary>The machine's name, as MachineID returns it.</summary>
    public string GetMachineID()
    {
      return m_MachineID;
    }

    /// <summary>Stops this object receiving telegrams. The host endpoint keeps running; the object
    /// can still send, and binds anew if it does.</summary>
    public void Dispose()
    {
      Dispose(true);
      GC.SuppressFinalize(this);
    }

    /// <summary>Removes the object from the host's list and closes its connection to the machine
    /// when called from Dispose (disposing true); nothing when called from a finalizer.</summary>
    /// <param name="disposing">true when called from Dispose.</param>
    protected virtual void Dispose(bool disposing)
    {
      if (!disposing) return;
      m_Host.MachineRemove(this);
      // The connection to the machine is closed now rather than whenever the collector runs.
      UnbindMevrix();
    }

    private int BindMevrix()
    {
      int status = NativeMethods.tarvik_machine_bind(m_Connection);
      m_hMevrix = NativeMethods.tarvik_machine_binding(m_Connection);
      return status;
    }

    private int UnbindMevrix()
    {
      int status = NativeMethods.tarvik_machine_unbind(m_Connection);
      m_hMevrix = NativeMethods.tarvik_machine_binding(m_Connection);
      return status;
    }

    private int ForceBinding()
    {
      int status = NativeMethods.tarvik_machine_force_binding(m_Connection);
      m_hMevrix = NativeMethods.tarvik_machine_binding(m_Connection);
      return status;
    }

    private int IsBind()
    {
      return m_hMevrix != IntPtr.Zero ? 1 : 0;
    }

    // Starts the host endpoint, binds if needed, converts the texts and calls (native code runs
    // those steps); a failure during the call has already dropped the binding and gives 1722.
    private int Send(int opnum, MarshalContext context)
    {
      try
      {
        return NativeMethods.tarvik_machine_send(m_Connection, opnum, context.Args, context.Count);
      }
      finally
      {
        m_hMevrix = NativeMethods.tarvik_machine_binding(m_Connection);
      }
    }

    // Any exception inside a telegram method: the next telegram binds anew.
    private int SendFailed()
    {
      try
      {
        UnbindMevrix();
      }
      catch
      {
      }
      return ServerUnavailable;
    }
  }
}
