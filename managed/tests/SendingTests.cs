using System;
using System.Collections.Generic;
using System.Linq;
using System.Reflection;
using NUnit.Framework;

namespace Vortane.Tarvik.Rpc.Tests
{
  // `_M` telegrams to the independent peer acting as a machine.
  [TestFixture]
  public class SendingTests
  {
    private MachinePeer m_Peer;

    [TestFixtureSetUp]
    public void StartMachine()
    {
      m_Peer = new MachinePeer("--status-for C_MODE_M=-3 --status-for T_REPORT_M=2147483647");
      using (MachineClass m = new MachineClass())
      {
        m.HostPort = 0;  // the endpoint each telegram starts takes a free port
        m.HostID = "HOST\u00e4";
      }
    }

    [TestFixtureTearDown]
    public void StopMachine()
    {
      m_Peer.Dispose();
    }

    private MachineClass NewMachine(string id, int port)
    {
      MachineClass m = new MachineClass();
      m.MachineID = id;
      m.MachineIP = "127.0.0.1";
      m.MachinePort = port;
      return m;
    }

    // A value per parameter that shows a swap, a sign or width mistake, or a wrong conversion.
    private static object SampleValue(ParameterInfo p, int index)
    {
      if (p.ParameterType == typeof(int))
      {
        int[] numbers = { int.MinValue, -2, 0x12345678, int.MaxValue, -100000 };
        return numbers[index % numbers.Length] + (index / numbers.Length);
      }
      // Latin-1 only, so the peer (which decodes Latin-1) sees the same characters; one empty text.
      return index % 4 == 3 ? "" : p.Name.Substring(0, Math.Min(3, p.Name.Length)) + index + "\u00e4\u00ff";
    }

    [Test]
    public void EveryTelegramArrivesWithEveryFieldInPlace()
    {
      using (MachineClass m = NewMachine("MC\u00e41", m_Peer.Port))
      {
        MethodInfo[] telegrams = typeof(MachineClass).GetMethods().Where(t => t.Name.EndsWith("_M")).ToArray();
        Assert.AreEqual(17, telegrams.Length);
        foreach (MethodInfo t in telegrams)
        {
          ParameterInfo[] ps = t.GetParameters();
          object[] args = ps.Select((p, i) => SampleValue(p, i + t.Name.Length)).ToArray();
          int ret = (int)t.Invoke(m, args);

          Dictionary<string, object> call = m_Peer.NextCall();
          Assert.AreEqual(t.Name, call["telegram"]);
          if (t.Name == "Shutdown_M")
          {
            Assert.AreEqual(0, ret);
            Assert.IsNull(call["status"]);
            continue;
          }
          Assert.AreEqual(t.Name == "C_MODE_M" ? -3 : t.Name == "T_REPORT_M" ? int.MaxValue : 0, ret, t.Name);
          Assert.AreEqual("HOST\u00e4", call["pszHost"], t.Name);
          Assert.AreEqual("MC\u00e41", call["pszMachine"], t.Name);
          Assert.AreEqual(ps.Length + 2 + 5, call.Count, t.Name + ": unexpected fields");  // + telegram, opnum, conn, call_id, status
          for (int i = 0; i < ps.Length; i++)
          {
            object expected = args[i] is int ? (object)(long)(int)args[i] : args[i];
            Assert.AreEqual(expected, call[ps[i].Name], t.Name + "." + ps[i].Name);
          }
        }
      }
    }

    [Test]
    public void TextsConvertWithoutBestFit()
    {
      using (MachineClass m = NewMachine("MC2", m_Peer.Port))
      {
        // U+0101 has no exact 1252 equivalent (a best fit would send 'a'); the euro sign is 0x80.
        Assert.AreEqual(0, m.T_DATA_M(1, 2, "x\u0101y", "\u20ac"));
        Dictionary<string, object> call = m_Peer.NextCall();
        Assert.AreEqual("x?y", call["Name1"]);
        Assert.AreEqual("\u0080", call["Name2"]);  // byte 0x80 as the peer decodes it
      }
    }

    [Test]
    public void NullTextSendsNothingReturns1722AndDropsTheBinding()
    {
      using (MachineClass m = NewMachine("MC3", m_Peer.Port))
      {
        Assert.AreEqual(0, m.T_MACHINE_M(31));
        long conn = (long)m_Peer.NextCall()["conn"];
        Assert.AreEqual(0, m.T_MACHINE_M(32));
        Assert.AreEqual(conn, m_Peer.NextCall()["conn"], "the binding is reused");

        Assert.AreEqual(1722, m.T_DATA_M(33, 1, null, "x"));
        m.MachineID = null;
        Assert.AreEqual(1722, m.T_MACHINE_M(34));
        m.MachineID = "MC3";

        Assert.AreEqual(0, m.T_MACHINE_M(35));
        Dictionary<string, object> next = m_Peer.NextCall();
        Assert.AreEqual(35L, next["OrderNum"], "nothing of 33 or 34 reached the machine");
        Assert.AreNotEqual(conn, next["conn"], "a new binding after the failure");
      }
    }

    [Test]
    public void TelegramStartsTheHostEndpointFirst()
    {
      using (MachineClass m = NewMachine("MC4", m_Peer.Port))
      {
        m.HostEnabled = false;
        Assert.IsFalse(m.HostEnabled);
        Assert.AreEqual(0, m.T_MACHINE_M(41));
        Assert.IsTrue(m.HostEnabled);
        m_Peer.NextCall();
      }
    }

    [Test]
    public void HostStartReportsWhyItFailedAndWhichPortItListensOn()
    {
      System.Net.Sockets.TcpListener holder = new System.Net.Sockets.TcpListener(System.Net.IPAddress.Any, 0);
      holder.Start();
      int held = ((System.Net.IPEndPoint)holder.LocalEndpoint).Port;
      using (MachineClass m = NewMachine("MC9", m_Peer.Port))
      {
        try
        {
          m.HostEnabled = false;
          m.HostPort = held;
          m.HostEnabled = true;
          Assert.IsFalse(m.HostEnabled);
          Assert.AreEqual(1720, m.HostStartStatus, "HostEnabled = true keeps the failure's status");
          Assert.AreEqual(1720, m.StartHost());

          m.HostPort = 0;
          Assert.AreEqual(0, m.StartHost());
          Assert.AreEqual(0, m.HostStartStatus, "a later success replaces the failure");
          Assert.IsTrue(m.HostEnabled);
          int port = m.HostListeningPort;
          Assert.AreNotEqual(0, port);
          Assert.AreNotEqual(held, port);
          // The port named is the one answering: a wrong host name is refused there with -110.
          Assert.AreEqual(-110, PeerTool.CallHost(port, "R_MESSAGE_H", Params.Of("pszHost", "NOBODY", "pszMachine", "MC9")));
          Assert.AreEqual(0, m.StartHost(), "starting a running endpoint succeeds");
        }
        finally
        {
          m.HostPort = 0;
          holder.Stop();
        }
      }
    }

    [Test]
    public void BindingIsKeptAfterSettingsChangeUntilACallFails()
    {
      using (MachinePeer other = new MachinePeer())
      using (MachineClass m = new MachineClass())
      {
        MachinePeer first = new MachinePeer();
        try
        {
          m.MachineID = "MC5";
          m.MachineIP = "127.0.0.1";
          m.MachinePort = first.Port;
          Assert.AreEqual(0, m.T_MACHINE_M(51));
          first.NextCall();

          m.MachinePort = other.Port;
          m.MachineTimeout = 4;
          m.MachineIP = "localhost";
          Assert.AreEqual(0, m.T_MACHINE_M(52));
          Assert.AreEqual(52L, first.NextCall()["OrderNum"], "still the old endpoint");
        }
        finally
        {
          first.Dispose();  // the machine goes away: the next call fails
        }
        Assert.AreEqual(1722, m.T_MACHINE_M(53));
        Assert.AreEqual(0, m.T_MACHINE_M(54));
        Assert.AreEqual(54L, other.NextCall()["OrderNum"], "the new endpoint after the failure");
      }
    }

    [Test]
    public void TimeOutTheRuntimeRefusesFailsTheBindingWithItsStatus()
    {
      using (MachineClass m = NewMachine("MC7", m_Peer.Port))
      {
        m.MachineTimeout = 11;  // the runtime knows levels 0 to 10
        Assert.AreEqual(1709, m.T_MACHINE_M(71));
        // The binding was made before its time-out was refused, and stays: the next one is sent.
        Assert.AreEqual(0, m.T_MACHINE_M(72));
        Assert.AreEqual(72L, m_Peer.NextCall()["OrderNum"]);
      }
    }
  }
}
