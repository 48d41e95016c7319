using System;
using System.Collections.Concurrent;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Threading;
using Vortane.Tarvik.Rpc.Examples;

namespace Vortane.Tarvik.Rpc.Tests
{
  // The independent DCE RPC peer (rpcpeer.py), run with Debian's interpreter. CTest passes its
  // location in TARVIK_PEER_DIR and TARVIK_PYTHON.
  internal static class PeerTool
  {
    internal const int WaitMs = 30000;  // bound for every wait on a child process

    internal static string Script
    {
      get { return Path.Combine(Environment.GetEnvironmentVariable("TARVIK_PEER_DIR") ?? "../shared/peers", "rpcpeer.py"); }
    }

    internal static string Python
    {
      get { return Environment.GetEnvironmentVariable("TARVIK_PYTHON") ?? "/usr/bin/python3"; }
    }

    internal static Process Start(string arguments, bool redirectInput = false)
    {
      ProcessStartInfo info = new ProcessStartInfo(Python, "\"" + Script + "\" " + arguments);
      info.UseShellExecute = false;
      info.RedirectStandardOutput = true;
      info.RedirectStandardError = true;
      info.RedirectStandardInput = redirectInput;
      return Process.Start(info);
    }

    // Runs a command to its end; its one stdout line, parsed.
    internal static Dictionary<string, object> RunOnce(string arguments)
    {
      using (Process p = Start(arguments))
      {
        string stderr = null;
        Thread errors = new Thread(() => stderr = p.StandardError.ReadToEnd());
        errors.Start();
        string line = p.StandardOutput.ReadLine();
        if (!p.WaitForExit(WaitMs))
        {
          p.Kill();
          throw new TimeoutException("rpcpeer " + arguments + " did not finish");
        }
        errors.Join();
        if (line == null) throw new InvalidOperationException("rpcpeer " + arguments + " printed nothing: " + stderr);
        return (Dictionary<string, object>)MiniJson.Parse(line);
      }
    }

    // One `_H` telegram as a machine sends it; the host's answer.
    internal static int CallHost(int port, string telegram, Dictionary<string, object> parameters)
    {
      Dictionary<string, object> answer = RunOnce("call-host --port " + port + " " + telegram + " --json " +
                                                  Quote(MiniJson.Write(parameters)));
      if (!answer.ContainsKey("status")) throw new InvalidOperationException("call-host: " + MiniJson.Write(answer));
      return answer["status"] == null ? 0 : (int)(long)answer["status"];
    }

    internal static string Quote(string s)
    {
      return "'" + s.Replace("'", "'\\''") + "'";
    }
  }

  // rpcpeer serve-machine on a free loopback port: one parsed JSON line per call it received.
  internal sealed class MachinePeer : IDisposable
  {
    private readonly Process m_Process;
    private readonly BlockingCollection<Dictionary<string, object>> m_Calls =
        new BlockingCollection<Dictionary<string, object>>();
    private readonly string m_PortFile = Path.GetTempFileName();

    internal MachinePeer(string options = "")
    {
      File.Delete(m_PortFile);
      m_Process = PeerTool.Start("serve-machine --port 0 --port-file " + m_PortFile + " " + options);
      m_Process.OutputDataReceived += (sender, e) =>
      {
        if (!string.IsNullOrEmpty(e.Data)) m_Calls.Add((Dictionary<string, object>)MiniJson.Parse(e.Data));
      };
      m_Process.ErrorDataReceived += (sender, e) => { };
      m_Process.BeginOutputReadLine();
      m_Process.BeginErrorReadLine();
      Port = WaitForPort();
    }

    internal int Port { get; private set; }

    // The next call the machine received, in arrival order.
    internal Dictionary<string, object> NextCall()
    {
      Dictionary<string, object> call;
      if (!m_Calls.TryTake(out call, PeerTool.WaitMs)) throw new TimeoutException("the machine received no call");
      return call;
    }

    public void Dispose()
    {
      try
      {
        if (!m_Process.HasExited) m_Process.Kill();
        m_Process.WaitForExit(PeerTool.WaitMs);
      }
      catch (InvalidOperationException)
      {
      }
      m_Process.Dispose();
      File.Delete(m_PortFile);
    }

    private int WaitForPort()
    {
      for (int waited = 0; waited < PeerTool.WaitMs; waited += 20)
      {
        if (File.Exists(m_PortFile))
        {
          string text = File.ReadAllText(m_PortFile).Trim();
          int port;
          if (text.Length > 0 && int.TryParse(text, out port)) return port;
        }
        if (m_Process.HasExited) throw new InvalidOperationException("serve-machine exited");
        Thread.Sleep(20);
      }
      throw new TimeoutException("serve-machine did not start listening");
    }
  }
}
