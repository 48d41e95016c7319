using System;
using System.Collections.Concurrent;
using System.Collections.Generic;
using System.Diagnostics;
using NUnit.Framework;
using Vortane.Tarvik.Rpc.Examples;

namespace Vortane.Tarvik.Rpc.Tests
{
  // ManagedHost.exe driven the way control_host is: arguments, JSON lines out, method lines in.
  [TestFixture]
  public class ManagedHostTests
  {
    [Test]
    public void ExampleReportsEventsAndSendsTelegramsAsJsonLines()
    {
      string exe = Environment.GetEnvironmentVariable("TARVIK_MANAGED_HOST_EXE");
      Assert.IsNotNull(exe, "TARVIK_MANAGED_HOST_EXE");
      using (MachinePeer machine = new MachinePeer("--status-for C_ORDER_M=-9"))
      {
        ProcessStartInfo info = new ProcessStartInfo("mono", "\"" + exe + "\" --host-id HOSTE --host-port 0 --machine MC1@127.0.0.1:" +
                                                     machine.Port + " --machine MC2");
        info.UseShellExecute = false;
        info.RedirectStandardInput = true;
        info.RedirectStandardOutput = true;
        using (Process host = Process.Start(info))
        {
          BlockingCollection<string> lines = new BlockingCollection<string>();
          host.OutputDataReceived += (s, e) => { if (e.Data != null) lines.Add(e.Data); };
          host.BeginOutputReadLine();
          try
          {
            Func<Dictionary<string, object>> next = () =>
            {
              string line;
              Assert.IsTrue(lines.TryTake(out line, PeerTool.WaitMs), "a line from ManagedHost");
              return (Dictionary<string, object>)MiniJson.Parse(line);
            };
            Dictionary<string, object> listening = next();
            Assert.IsTrue(listening.ContainsKey("listening"), MiniJson.Write(listening));
            int port = (int)(long)listening["listening"];

            Assert.AreEqual(0, PeerTool.CallHost(port, "R_DATA_H", Params.Of("pszHost", "HOSTE", "pszMachine", "MC2", "OrderNum", 4,
                                                                            "SFkt", 5, "pszName1", "n\u00e4", "Date", -1, "LastFile", 1)));
            Assert.AreEqual("{\"object\":2,\"event\":\"RxDATAxH\",\"args\":[4,5,\"n\\u00e4\",\"\",-1,1]}", MiniJson.Write(next()));

            host.StandardInput.WriteLine("1 C_ORDER_M 7 1 \"a\" \"b\\u00e4\" \"\" \"d\" 1 2 3 -4");
            host.StandardInput.Flush();
            Assert.AreEqual("{\"object\":1,\"method\":\"C_ORDER_M\",\"ret\":-9}", MiniJson.Write(next()));
            Dictionary<string, object> call = machine.NextCall();
            Assert.AreEqual("HOSTE", call["pszHost"]);
            Assert.AreEqual("MC1", call["pszMachine"]);
            Assert.AreEqual("b\u00e4", call["Name2"]);
            Assert.AreEqual(-4L, call["Parameter4"]);

            host.StandardInput.WriteLine("1 T_DATA_M 1 2 null \"x\"");
            host.StandardInput.Flush();
            Assert.AreEqual("{\"object\":1,\"method\":\"T_DATA_M\",\"ret\":1722}", MiniJson.Write(next()));
          }
          finally
          {
            host.StandardInput.Close();
            if (!host.WaitForExit(PeerTool.WaitMs)) host.Kill();
          }
        }
      }
    }
  }
}
