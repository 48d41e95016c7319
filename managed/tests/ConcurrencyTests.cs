using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Threading;
using NUnit.Framework;
using Vortane.Tarvik.Rpc.Examples;

namespace Vortane.Tarvik.Rpc.Tests
{
  // Handlers on several RPC threads at once, and subscriptions changing while telegrams arrive.
  [TestFixture]
  public class ConcurrencyTests
  {
    private int m_Port;

    [TestFixtureSetUp]
    public void EnableHost()
    {
      using (MachineClass m = new MachineClass())
      {
        m.HostID = "HOSTC";
        m.HostPort = 0;
        m.HostEnabled = true;
      }
      m_Port = MachineClass.m_Host.ListeningPort;
    }

    // load-host: `calls` R_MESSAGE_H from `threads` connections at once; its summary line.
    private Process StartLoad(string machine, int calls, int threads)
    {
      return PeerTool.Start("load-host --port " + m_Port + " --calls " + calls + " --threads " + threads +
                            " R_MESSAGE_H pszHost=HOSTC pszMachine=" + machine + " pszMessage=load");
    }

    private static Dictionary<string, object> Finish(Process load)
    {
      string line = load.StandardOutput.ReadLine();
      Assert.IsTrue(load.WaitForExit(PeerTool.WaitMs), "load-host finished");
      Assert.IsNotNull(line, "load-host summary: " + load.StandardError.ReadToEnd());
      return (Dictionary<string, object>)MiniJson.Parse(line);
    }

    private static void AssertAllAccepted(Dictionary<string, object> summary, int calls)
    {
      Dictionary<string, object> statuses = (Dictionary<string, object>)summary["statuses"];
      Assert.AreEqual((long)calls, summary["completed"], MiniJson.Write(summary));
      Assert.AreEqual(1, statuses.Count, MiniJson.Write(summary));
      Assert.AreEqual((long)calls, statuses["0"]);
    }

    [Test]
    public void HandlersOfOneObjectRunOnSeveralThreadsAtOnce()
    {
      using (MachineClass m = new MachineClass())
      {
        m.MachineID = "MCC";
        int inside = 0, most = 0, total = 0;
        HashSet<int> threads = new HashSet<int>();
        ManualResetEvent overlap = new ManualResetEvent(false);
        m.RxMESSAGExH += (machine, order, message, r1, r2, rb) =>
        {
          int now = Interlocked.Increment(ref inside);
          lock (threads)
          {
            threads.Add(Thread.CurrentThread.ManagedThreadId);
            most = Math.Max(most, now);
            total++;
          }
          if (now >= 2) overlap.Set();
          // Hold the call open until another thread is inside too (bounded: the calls go on anyway).
          overlap.WaitOne(5000);
          Interlocked.Decrement(ref inside);
        };
        using (Process load = StartLoad("MCC", 40, 4)) AssertAllAccepted(Finish(load), 40);
        Assert.AreEqual(40, total);
        Assert.GreaterOrEqual(most, 2, "two handlers ran at the same time");
        Assert.GreaterOrEqual(threads.Count, 2);
      }
    }

    [Test]
    public void SubscribingAndUnsubscribingWhileTelegramsArriveLosesNoHandler()
    {
      using (MachineClass m = new MachineClass())
      {
        m.MachineID = "MCS";
        int steady = 0, transient = 0;
        m.RxMESSAGExH += (machine, order, message, r1, r2, rb) => Interlocked.Increment(ref steady);
        MachineClass._RxMESSAGExH a = (machine, order, message, r1, r2, rb) => Interlocked.Increment(ref transient);
        MachineClass._RxMESSAGExH b = (machine, order, message, r1, r2, rb) => Interlocked.Increment(ref transient);
        const int calls = 600;
        int rounds = 0;
        bool done = false;
        Thread other = new Thread(() =>
        {
          for (int i = 0; i < 5000000 && !Volatile.Read(ref done); i++)
          {
            m.RxMESSAGExH += b;
            m.RxMESSAGExH -= b;
          }
        });
        using (Process load = StartLoad("MCS", calls, 4))
        {
          other.Start();
          while (!load.HasExited && rounds < 1000000)
          {
            m.RxMESSAGExH += a;
            m.RxMESSAGExH -= a;
            rounds++;
          }
          Volatile.Write(ref done, true);
          AssertAllAccepted(Finish(load), calls);
        }
        other.Join();
        Assert.AreEqual(calls, steady, "the steady handler saw every telegram");

        // Every transient subscription was removed again: one more telegram reaches only the steady one.
        int before = transient;
        using (Process load = StartLoad("MCS", 1, 1)) AssertAllAccepted(Finish(load), 1);
        Assert.AreEqual(calls + 1, steady);
        Assert.AreEqual(before, transient);
      }
    }
  }
}
