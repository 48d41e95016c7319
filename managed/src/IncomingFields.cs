using System;
using System.Runtime.InteropServices;

namespace Vortane.Tarvik.Rpc
{
  // The flattened fields of one incoming telegram as the native host routine hands them over
  // (an array of TarvikField: UTF-16 pointer, length in UTF-16 units, number; 16 bytes each).
  // Valid only while the callback runs.
  internal struct IncomingFields
  {
    private const int FieldSize = 16;
    private const int LengthOffset = 8;
    private const int NumberOffset = 12;

    private readonly IntPtr m_Fields;
    private readonly int m_Count;

    internal IncomingFields(IntPtr fields, int count)
    {
      m_Fields = fields;
      m_Count = count;
    }

    internal int Count
    {
      get { return m_Count; }
    }

    internal string Text(int index)
    {
      IntPtr field = At(index);
      IntPtr text = Marshal.ReadIntPtr(field);
      if (text == IntPtr.Zero) throw new InvalidOperationException("field " + index + " is not a text");
      return Marshal.PtrToStringUni(text, Marshal.ReadInt32(field, LengthOffset));
    }

    internal int Number(int index)
    {
      return Marshal.ReadInt32(At(index), NumberOffset);
    }

    private IntPtr At(int index)
    {
      if (index < 0 || index >= m_Count || m_Fields == IntPtr.Zero)
        throw new ArgumentOutOfRangeException("index");
      return new IntPtr(m_Fields.ToInt64() + (long)index * FieldSize);
    }
  }
}
