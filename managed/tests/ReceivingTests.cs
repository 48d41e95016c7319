using System;
using System.Collections.Generic;
using System.Linq;
using NUnit.Framework;

namespace Vortane.Tarvik.Rpc.Tests
{
  // `_H` telegrams from the independent peer acting as a machine, raised as events.
  [TestFixture]
  public class ReceivingTests
  {
    private int m_Port;

    [TestFixtureSetUp]
    public void EnableHost()
    {
      using (MachineClass m = new MachineClass())
      {
        m.HostID = "HOST1";
        m.HostPort = 0;
        m.HostEnabled = true;
        Assert.IsTrue(m.HostEnabled);
      }
      m_Port = MachineClass.m_Host.ListeningPort;
    }

    private static MachineClass NewMachine(string id)
    {
      MachineClass m = new MachineClass();
      m.MachineID = id;
      return m;
    }

    private int Call(string telegram, string machine, params object[] nameValue)
    {
      Dictionary<string, object> p = Params.Of(nameValue);
      p["pszHost"] = "HOST1";
      p["pszMachine"] = machine;
      return PeerTool.CallHost(m_Port, telegram, p);
    }

    // Distinct values for every parameter of a host telegram, as the peer takes them.
    private static Dictionary<string, object> Sample(string telegram, string machine)
    {
      Dictionary<string, object> p = Params.Of("pszHost", "HOST1", "pszMachine", machine, "OrderNum", -7);
      int n = 100;
      foreach (string name in new[] { "MachineMode", "MachineStatus", "ClampCubeSide", "TpOStatus", "Typ", "ResInt1",
                                      "ResInt2", "SFkt", "Date", "LastFile", "VarMode" })
        p[name] = (n++) * (n % 2 == 0 ? 1 : -1);
      p["ResInt2"] = int.MinValue;
      foreach (string name in new[] { "pszNCProgramm", "pszResByte", "pszMessage", "pszName1", "pszName2", "pszVarSet",
                                      "pszVarDescr", "pszVarData", "pszData" })
        p[name] = name.Substring(3) + "\u00e4";
      p["pszName2"] = "";
      int count = telegram == "R_MACHINE_H" ? 3 : 2;
      p["DockPos"] = Enumerable.Range(1, count).Select(i => (object)(long)(i * 11)).ToList();
      p["DockPosStatus"] = Enumerable.Range(1, count).Select(i => (object)(long)-i).ToList();
      p["WPCStatus"] = new List<object> { 7L, int.MaxValue, 9L };
      // An empty middle slot, and a full six-character slot without terminator.
      p["pszWPC"] = (telegram == "R_MACHINE_H" ? new List<object> { "AB", "", "CDEFGH" } : new List<object> { "\u00e4", "XY" });
      p["Number"] = Enumerable.Range(1, 10).Select(i => (object)(long)(i * 1000 - 5000)).ToList();
      p["Time"] = Enumerable.Range(1, 10).Select(i => (object)(long)(1700000000 + i)).ToList();
      p["Flag"] = new List<object> { 0L, 1L, 255L, 128L, 127L, 2L, 3L, 4L, 5L, 254L };
      return p;
    }

    // What an event argument must hold: its own parameter, or element k of a table (WPC2, Flag10),
    // or Date for DateVal.
    private static object Expected(Dictionary<string, object> sent, string arg)
    {
      if (arg == "DateVal") return sent["Date"];
      foreach (string key in new[] { arg, "psz" + arg })
        if (sent.ContainsKey(key) && !(sent[key] is List<object>)) return sent[key];
      string stem = arg.TrimEnd("0123456789".ToCharArray());
      int k = int.Parse(arg.Substring(stem.Length)) - 1;
      List<object> table = (List<object>)(sent.ContainsKey(stem) ? sent[stem] : sent["psz" + stem]);
      return table[k];
    }

    [Test]
    public void EveryTelegramRaisesItsEventWithEveryField()
    {
      using (MachineClass other = NewMachine("MC1x"))
      using (MachineClass m = NewMachine("MC1"))
      {
        EventRecorder events = new EventRecorder(m);
        EventRecorder bystander = new EventRecorder(other);
        int count = 0;
        foreach (string telegram in s_Fields.Keys)
        {
          Dictionary<string, object> sent = Sample(telegram, "MC1");
          sent = sent.Where(e => TelegramHas(telegram, e.Key)).ToDictionary(e => e.Key, e => e.Value);
          Assert.AreEqual(0, PeerTool.CallHost(m_Port, telegram, sent), telegram);

          RaisedEvent raised = events.Raised.Last();
          Assert.AreEqual(++count, events.Raised.Length, "one event per telegram");
          Assert.AreEqual(telegram.Replace('_', 'x'), raised.Name, "R_MACHINE_H raises RxMACHINExH");
          Assert.AreSame(m, raised.Machine);
          for (int a = 0; a < raised.Args.Length; a++)
          {
            object expected = Expected(sent, raised.ArgNames[a]);
            object actual = raised.Args[a] is int ? (object)(long)(int)raised.Args[a] : raised.Args[a];
            Assert.AreEqual(expected is int ? (long)(int)expected : expected, actual,
                            raised.Name + "." + raised.ArgNames[a]);
          }
        }
        Assert.AreEqual(0, bystander.Raised.Length);

        // Shutdown_H carries nothing and reaches every object, this one and the bystander.
        Assert.AreEqual(0, PeerTool.CallHost(m_Port, "Shutdown_H", Params.Of()));
        Assert.AreEqual("ShutdownH", events.Raised.Last().Name);
        Assert.AreEqual(1, bystander.Raised.Length);
      }
    }

    // The host telegrams and their fields as the peer names them: the oracle the generated events are
    // checked against.
    private static readonly Dictionary<string, string[]> s_Fields = new Dictionary<string, string[]>
    {
      { "R_MACHINE_H", new[] { "MachineMode", "MachineStatus", "pszNCProgramm", "ClampCubeSide", "DockPos", "DockPosStatus", "pszWPC", "WPCStatus", "ResInt1", "ResInt2", "pszResByte" } },
      { "R_TPS_H", new[] { "MachineMode", "MachineStatus", "TpOStatus", "DockPos", "DockPosStatus", "pszWPC", "ResInt1", "ResInt2", "pszResByte" } },
      { "R_REPORT_H", new[] { "Typ", "Number", "Time", "Flag", "ResInt1", "ResInt2", "pszResByte" } },
      { "R_MESSAGE_H", new[] { "pszMessage", "ResInt1", "ResInt2", "pszResByte" } },
      { "T_DATA_H", new[] { "SFkt", "pszName1", "pszName2" } },
      { "R_DATA_H", new[] { "SFkt", "pszName1", "pszName2", "Date", "LastFile" } },
      { "T_VAR_H", new[] { "VarMode", "pszVarSet", "pszVarDescr" } },
      { "R_VAR_H", new[] { "VarMode", "pszVarSet", "pszVarDescr", "pszVarData" } },
      { "R_DDEDATA_H", new[] { "pszData" } },
    };

    private static bool TelegramHas(string telegram, string field)
    {
      return field == "pszHost" || field == "pszMachine" || field == "OrderNum" || s_Fields[telegram].Contains(field);
    }

    [Test]
    public void HostAndMachineNamesMatchExactly()
    {
      using (MachineClass upper = NewMachine("MCA"))
      using (MachineClass lower = NewMachine("mca"))
      {
        EventRecorder up = new EventRecorder(upper), low = new EventRecorder(lower);
        Assert.AreEqual(0, Call("T_DATA_H", "mca", "OrderNum", 1));
        Assert.AreEqual(0, up.Raised.Length);
        Assert.AreEqual(1, low.Raised.Length);
        Assert.AreEqual(-111, Call("T_DATA_H", "Mca"));
        Dictionary<string, object> wrongCase = Params.Of("pszHost", "host1", "pszMachine", "MCA");
        Assert.AreEqual(-110, PeerTool.CallHost(m_Port, "T_DATA_H", wrongCase));
        Assert.AreEqual(0, up.Raised.Length);

        // After Dispose the object's name is unknown, unless another object still has it.
        using (MachineClass second = NewMachine("MCA"))
        {
          EventRecorder sec = new EventRecorder(second);
          Assert.AreEqual(0, Call("T_DATA_H", "MCA"));
          Assert.AreEqual(1, up.Raised.Length, "the first object with the name gets it");
          upper.Dispose();
          Assert.AreEqual(0, Call("T_DATA_H", "MCA"));
          Assert.AreEqual(1, up.Raised.Length);
          Assert.AreEqual(1, sec.Raised.Length);
        }
        Assert.AreEqual(-111, Call("T_DATA_H", "MCA"));

        // The name that selects an object is its MachineID when the telegram arrives.
        lower.MachineID = "renamed";
        Assert.AreEqual(-111, Call("T_DATA_H", "mca"));
        Assert.AreEqual(0, Call("T_DATA_H", "renamed"));
        Assert.AreEqual(2, low.Raised.Length);
      }
    }

    [Test]
    public void ThrowingHandlerGivesZeroAndSkipsTheLaterHandlers()
    {
      using (MachineClass m = NewMachine("MCT"))
      {
        List<string> ran = new List<string>();
        m.RxMESSAGExH += (machine, order, message, r1, r2, rb) => ran.Add("first " + message);
        m.RxMESSAGExH += (machine, order, message, r1, r2, rb) => { throw new InvalidOperationException("handler fault"); };
        m.RxMESSAGExH += (machine, order, message, r1, r2, rb) => ran.Add("third " + message);
        Assert.AreEqual(0, Call("R_MESSAGE_H", "MCT", "pszMessage", "one"));
        Assert.AreEqual(0, Call("R_MESSAGE_H", "MCT", "pszMessage", "two"));
        CollectionAssert.AreEqual(new[] { "first one", "first two" }, ran);
      }
    }

    [Test]
    public void ShutdownReachesObjectsInCreationOrderUntilAHandlerThrows()
    {
      MachineClass[] machines = { NewMachine("S1"), NewMachine("S1"), NewMachine("S3") };
      try
      {
        List<MachineClass> order = new List<MachineClass>();
        foreach (MachineClass m in machines) m.ShutdownH += machine => { lock (order) order.Add(machine); };
        Assert.AreEqual(0, PeerTool.CallHost(m_Port, "Shutdown_H", Params.Of()));
        CollectionAssert.AreEqual(machines, order);

        order.Clear();
        machines[1].ShutdownH += machine => { throw new InvalidOperationException("stop"); };
        Assert.AreEqual(0, PeerTool.CallHost(m_Port, "Shutdown_H", Params.Of()));
        CollectionAssert.AreEqual(new[] { machines[0], machines[1] }, order, "the walk ends at the throwing handler");
        // The endpoint stays registered after Shutdown_H.
        Assert.IsTrue(machines[0].HostEnabled);
        Assert.AreEqual(0, Call("T_DATA_H", "S3"));
      }
      finally
      {
        foreach (MachineClass m in machines) m.Dispose();
      }
    }

    [Test]
    public void HandlerMayStopTheEndpointFromInsideItsOwnCall()
    {
      using (MachineClass m = NewMachine("MCH"))
      {
        m.ShutdownH += machine => machine.HostEnabled = false;
        Assert.AreEqual(0, PeerTool.CallHost(m_Port, "Shutdown_H", Params.Of()));
        Assert.IsFalse(m.HostEnabled);
        // Restarting on the same port meets the endpoint still open and goes on.
        m.HostPort = m_Port;
        m.HostEnabled = true;
        Assert.IsTrue(m.HostEnabled);
        Assert.AreEqual(m_Port, MachineClass.m_Host.ListeningPort);
        Assert.AreEqual(-111, Call("T_DATA_H", "nobody"));
      }
    }
  }
}
