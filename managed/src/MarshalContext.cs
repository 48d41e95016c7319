using System;
using System.Runtime.InteropServices;

namespace Vortane.Tarvik.Rpc
{
  // The arguments of one telegram call, in parameter order, and the unmanaged UTF-16 copies of its
  // texts. The telegram method frees it on every path when it returns.
  internal sealed class MarshalContext
  {
    private readonly NativeMethods.Arg[] m_Args;
    private int m_Count;

    internal MarshalContext(int count)
    {
      m_Args = new NativeMethods.Arg[count];
    }

    internal NativeMethods.Arg[] Args
    {
      get { return m_Args; }
    }

    internal int Count
    {
      get { return m_Count; }
    }

    internal void Number(int value)
    {
      m_Args[m_Count++].Number = value;
    }

    // A null string stays a null pointer, which the stub refuses before anything is sent.
    // Running out of memory throws, and the telegram method turns that into 1722.
    internal void Text(string value)
    {
      if (value != null) m_Args[m_Count].Text = Marshal.StringToHGlobalUni(value);
      m_Count++;
    }

    internal void Free()
    {
      for (int i = 0; i < m_Count; i++)
      {
        if (m_Args[i].Text != IntPtr.Zero)
        {
          Marshal.FreeHGlobal(m_Args[i].Text);
          m_Args[i].Text = IntPtr.Zero;
        }
      }
    }
  }
}
