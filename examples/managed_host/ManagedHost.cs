using System;
using System.Collections.Generic;
using System.Globalization;
using System.Linq;
using System.Linq.Expressions;
using System.Reflection;
using System.Runtime.InteropServices;
using System.Text;
using Vortane.Tarvik.Rpc;

namespace Vortane.Tarvik.Rpc.Examples
{
  // A small console host program over Vortane.Tarvik.Rpc, driven like control_host:
  //
  //   mono ManagedHost.exe --host-id H --host-port P --machine ID[@ADDRESS:PORT]...
  //
  // creates one MachineClass per --machine (objects numbered from 1), enables the host and prints
  // {"listening":P} (or {"error":STATUS}); then one line per event raised,
  //   {"object":N,"event":"RxMACHINExH","args":[...]}
  // (the arguments after Machine), and for each stdin line "N METHOD ARG..." (texts as JSON
  // strings, null for a null text) calls that telegram method and prints
  //   {"object":N,"method":"C_ORDER_M","ret":R}
  // End of input ends the program. Output lines are ASCII JSON, one whole line at a time.
  public static class ManagedHost
  {
    private static readonly LineOutput s_Output = new LineOutput();
    private static readonly List<MachineClass> s_Machines = new List<MachineClass>();

    // Each RPC thread builds its event lines in a builder of its own.
    [ThreadStatic] private static StringBuilder t_Line;

    public static int Main(string[] argv)
    {
      string hostId = null;
      int hostPort = 3010;
      List<string> machines = new List<string>();
      for (int i = 0; i < argv.Length; i++)
      {
        string value = i + 1 < argv.Length ? argv[i + 1] : null;
        switch (argv[i])
        {
          case "--host-id": hostId = value; i++; break;
          case "--host-port": hostPort = int.Parse(value, CultureInfo.InvariantCulture); i++; break;
          case "--machine": machines.Add(value); i++; break;
          default:
            Console.Error.WriteLine("usage: ManagedHost.exe --host-id H --host-port P --machine ID[@ADDRESS:PORT]...");
            return 2;
        }
        if (value == null) return 2;
      }

      foreach (string spec in machines)
      {
        MachineClass m = new MachineClass();
        string[] idAndAddress = spec.Split(new[] { '@' }, 2);
        m.MachineID = idAndAddress[0];
        if (idAndAddress.Length == 2)
        {
          int colon = idAndAddress[1].LastIndexOf(':');
          m.MachineIP = idAndAddress[1].Substring(0, colon);
          m.MachinePort = int.Parse(idAndAddress[1].Substring(colon + 1), CultureInfo.InvariantCulture);
        }
        s_Machines.Add(m);
        Subscribe(m, s_Machines.Count);
      }
      // The host settings are shared: any object sets them.
      MachineClass first = s_Machines.Count > 0 ? s_Machines[0] : new MachineClass();
      if (hostId != null) first.HostID = hostId;
      first.HostPort = hostPort;
      int started = first.StartHost();
      if (started == 0)
        Print(new Dictionary<string, object> { { "listening", first.HostListeningPort } });
      else
        Print(new Dictionary<string, object> { { "error", started } });

      string line;
      while ((line = Console.In.ReadLine()) != null)
      {
        if (line.Trim().Length == 0) continue;
        try
        {
          Call(line);
        }
        catch (Exception e)
        {
          Print(new Dictionary<string, object> { { "error", e.Message }, { "line", line } });
        }
      }
      s_Output.Close();
      return 0;
    }

    // "N METHOD ARG..." -> the telegram method of object N with the arguments in its order.
    private static void Call(string line)
    {
      int at = 0;
      int n = (int)(long)MiniJson.ParseValue(line, ref at);
      string method = NextWord(line, ref at);
      List<object> values = new List<object>();
      while (at < line.Length && line.Substring(at).Trim().Length > 0) values.Add(MiniJson.ParseValue(line, ref at));

      MachineClass machine = s_Machines[n - 1];
      MethodInfo m = typeof(MachineClass).GetMethod(method, BindingFlags.Public | BindingFlags.Instance);
      if (m == null || m.ReturnType != typeof(int)) throw new ArgumentException("no telegram method " + method);
      ParameterInfo[] ps = m.GetParameters();
      if (ps.Length != values.Count) throw new ArgumentException(method + " takes " + ps.Length + " arguments");
      object[] args = new object[ps.Length];
      for (int i = 0; i < ps.Length; i++)
        args[i] = ps[i].ParameterType == typeof(int) ? (object)checked((int)(long)values[i]) : (string)values[i];
      int ret = (int)m.Invoke(machine, args);
      Print(new Dictionary<string, object> { { "object", n }, { "method", method }, { "ret", ret } });
    }

    private static string NextWord(string line, ref int at)
    {
      while (at < line.Length && char.IsWhiteSpace(line[at])) at++;
      int start = at;
      while (at < line.Length && !char.IsWhiteSpace(line[at])) at++;
      return line.Substring(start, at - start);
    }

    // One handler per event, of the event's own delegate type, built from its signature.
    private static void Subscribe(MachineClass machine, int n)
    {
      MethodInfo report = typeof(ManagedHost).GetMethod("Report", BindingFlags.Static | BindingFlags.NonPublic);
      foreach (EventInfo e in typeof(MachineClass).GetEvents())
      {
        ParameterExpression[] ps = e.EventHandlerType.GetMethod("Invoke").GetParameters()
            .Select(p => Expression.Parameter(p.ParameterType, p.Name)).ToArray();
        Expression body = Expression.Call(report, Expression.Constant(n), Expression.Constant(e.Name),
            Expression.NewArrayInit(typeof(object), ps.Skip(1).Select(p => (Expression)Expression.Convert(p, typeof(object)))));
        e.AddEventHandler(machine, Expression.Lambda(e.EventHandlerType, body, ps).Compile());
      }
    }

    // Runs on the RPC thread that received the telegram: {"object":N,"event":"NAME","args":[...]}.
    private static void Report(int n, string eventName, object[] args)
    {
      StringBuilder b = t_Line ?? (t_Line = new StringBuilder(256));
      b.Clear();
      b.Append("{\"object\":").Append(n).Append(",\"event\":");
      MiniJson.WriteValue(b, eventName);
      b.Append(",\"args\":");
      MiniJson.WriteValue(b, args);
      b.Append('}');
      s_Output.Add(b);
    }

    private static void Print(Dictionary<string, object> record)
    {
      s_Output.Add(MiniJson.Write(record));
    }
  }
}
