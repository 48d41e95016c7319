using System;
using System.Collections.Generic;
using System.Linq;
using System.Linq.Expressions;
using System.Reflection;

namespace Vortane.Tarvik.Rpc.Tests
{
  // One raised event: its name, the Machine argument and the rest, in order.
  internal sealed class RaisedEvent
  {
    internal string Name;
    internal MachineClass Machine;
    internal object[] Args;
    internal string[] ArgNames;
  }

  // Subscribes to every public event of a MachineClass through its delegate type's own signature
  // and records each raise.
  internal sealed class EventRecorder
  {
    private readonly List<RaisedEvent> m_Raised = new List<RaisedEvent>();

    internal EventRecorder(MachineClass machine)
    {
      foreach (EventInfo e in typeof(MachineClass).GetEvents())
        e.AddEventHandler(machine, Handler(e, this, "Record"));
    }

    internal RaisedEvent[] Raised
    {
      get { lock (m_Raised) return m_Raised.ToArray(); }
    }

    // A delegate of the event's type that passes its name and arguments to target.method(string, object[]).
    internal static Delegate Handler(EventInfo e, object target, string method)
    {
      ParameterInfo[] parameters = e.EventHandlerType.GetMethod("Invoke").GetParameters();
      ParameterExpression[] ps = parameters.Select(p => Expression.Parameter(p.ParameterType, p.Name)).ToArray();
      Expression call = Expression.Call(
          Expression.Constant(target),
          target.GetType().GetMethod(method, BindingFlags.Instance | BindingFlags.NonPublic | BindingFlags.Public),
          Expression.Constant(e.Name),
          Expression.NewArrayInit(typeof(object), ps.Select(p => (Expression)Expression.Convert(p, typeof(object)))));
      return Expression.Lambda(e.EventHandlerType, call, ps).Compile();
    }

    internal void Record(string name, object[] args)
    {
      MethodInfo invoke = typeof(MachineClass).GetEvent(name).EventHandlerType.GetMethod("Invoke");
      RaisedEvent raised = new RaisedEvent
      {
        Name = name,
        Machine = (MachineClass)args[0],
        Args = args.Skip(1).ToArray(),
        ArgNames = invoke.GetParameters().Skip(1).Select(p => p.Name).ToArray(),
      };
      lock (m_Raised) m_Raised.Add(raised);
    }
  }
}
