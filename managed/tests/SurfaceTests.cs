using System;
using NUnit.Framework;

namespace Vortane.Tarvik.Rpc.Tests
{
  // Runs in a process of its own: the host side is process-wide and these tests see it untouched.
  [TestFixture]
  public class SurfaceTests
  {
    [Test]
    public void NewObjectHasTheDocumentedDefaultsAndTheDefaultHostNameIsAccepted()
    {
      using (MachineClass m = new MachineClass())
      {
        Assert.AreEqual("?", m.MachineID);
        Assert.AreEqual("?", m.GetMachineID());
        Assert.AreEqual("?", m.MachineIP);
        Assert.AreEqual(3011, m.MachinePort);
        Assert.AreEqual(5, m.MachineTimeout);
        Assert.AreEqual("?", m.HostID);
        Assert.AreEqual(3010, m.HostPort);
        Assert.IsFalse(m.HostEnabled);

        // A host whose HostID was never set answers a machine that calls it "?", and only that.
        m.MachineID = "MCQ";
        m.HostPort = 0;
        m.HostEnabled = true;
        Assert.IsTrue(m.HostEnabled);
        int port = MachineClass.m_Host.ListeningPort;
        EventRecorder events = new EventRecorder(m);
        Assert.AreEqual(0, PeerTool.CallHost(port, "R_MESSAGE_H", Params.Of("pszHost", "?", "pszMachine", "MCQ")));
        Assert.AreEqual(-110, PeerTool.CallHost(port, "R_MESSAGE_H", Params.Of("pszHost", "?x", "pszMachine", "MCQ")));
        Assert.AreEqual(-110, PeerTool.CallHost(port, "R_MESSAGE_H", Params.Of("pszHost", "", "pszMachine", "MCQ")));
        Assert.AreEqual(1, events.Raised.Length);
        m.HostEnabled = false;
        Assert.IsFalse(m.HostEnabled);
      }
    }

    [Test]
    public void HostSettingsAreSharedAndMachineSettingsStoredUnchanged()
    {
      using (MachineClass a = new MachineClass())
      using (MachineClass b = new MachineClass())
      {
        string before = a.HostID;
        try
        {
          a.HostID = "host1";
          Assert.AreEqual("host1", b.HostID);
          using (MachineClass c = new MachineClass()) Assert.AreEqual("host1", c.HostID);
          // No case change for names and no range check for the time-out, unlike the control.
          a.MachineID = "mc1";
          b.MachineTimeout = -3;
          Assert.AreEqual("mc1", a.MachineID);
          Assert.AreEqual(-3, b.MachineTimeout);
          Assert.AreEqual("?", b.MachineID, "machine settings belong to their object");
        }
        finally
        {
          a.HostID = before;
        }
      }
    }
  }
}
