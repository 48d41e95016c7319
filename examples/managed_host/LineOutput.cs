using System;
using System.IO;
using System.Text;
using System.Threading;

namespace Vortane.Tarvik.Rpc.Examples
{
  // Standard output for lines that come from many threads at once: every line is added whole to a
  // shared buffer, and one writer thread writes whatever has gathered with one write, then waits for
  // more. Events are raised on the RPC threads that received them; a write and a flush per line under
  // one lock made them queue behind each other and behind the terminal or file. The writer lets a
  // line wait up to a millisecond for company, so a busy host writes many lines at a time and the
  // RPC threads rarely have to wake the writer.
  // Lines must be ASCII (MiniJson writes nothing else).
  internal sealed class LineOutput
  {
    private readonly object m_Lock = new object();
    private readonly Stream m_Out;
    private readonly Thread m_Writer;
    private StringBuilder m_Pending = new StringBuilder();  // under m_Lock
    private StringBuilder m_Spare = new StringBuilder();    // the writer's, while it writes
    private bool m_Closed;                                  // under m_Lock

    internal LineOutput()
    {
      m_Out = Console.OpenStandardOutput();
      m_Writer = new Thread(Run) { IsBackground = true, Name = "output" };
      m_Writer.Start();
    }

    internal void Add(string line)
    {
      lock (m_Lock)
      {
        if (m_Pending.Length == 0) Monitor.Pulse(m_Lock);  // the writer waits only while nothing is pending
        m_Pending.Append(line).Append('\n');
      }
    }

    internal void Add(StringBuilder line)
    {
      lock (m_Lock)
      {
        if (m_Pending.Length == 0) Monitor.Pulse(m_Lock);  // the writer waits only while nothing is pending
        m_Pending.Append(line).Append('\n');
      }
    }

    // Writes what is left and stops the writer.
    internal void Close()
    {
      lock (m_Lock)
      {
        m_Closed = true;
        Monitor.Pulse(m_Lock);
      }
      m_Writer.Join();
    }

    private void Run()
    {
      byte[] bytes = new byte[4096];
      while (true)
      {
        StringBuilder batch;
        lock (m_Lock)
        {
          while (m_Pending.Length == 0 && !m_Closed) Monitor.Wait(m_Lock);
          if (m_Pending.Length == 0) return;
          if (!m_Closed) Monitor.Wait(m_Lock, 1);  // lets the lock go: more lines may join
          batch = m_Pending;
          m_Pending = m_Spare;
          m_Spare = batch;
        }
        string text = batch.ToString();  // one copy: indexing a builder walks its chunks
        batch.Clear();
        if (bytes.Length < text.Length) bytes = new byte[Math.Max(text.Length, bytes.Length * 2)];
        int length = Encoding.ASCII.GetBytes(text, 0, text.Length, bytes, 0);
        try
        {
          m_Out.Write(bytes, 0, length);
          m_Out.Flush();
        }
        catch (IOException)
        {
          // The reader has gone: nothing more can be shown.
        }
      }
    }
  }
}
