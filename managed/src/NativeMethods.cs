using System;
using System.Runtime.InteropServices;

namespace Vortane.Tarvik.Rpc
{
  // The C ABI of libVortaneTarvikNative.so (managed/native/tarvik_native.h). Texts cross as
  // zero-terminated UTF-16; the native side converts them to and from the wire's 8-bit text.
  internal static class NativeMethods
  {
    internal const string Library = "VortaneTarvikNative";

    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    internal delegate int TelegramCallback(int opnum, IntPtr fields, int count);

    // One argument of an `_M` telegram: Text for a text parameter (null pointer = null text),
    // Number for a number. Same layout as TarvikArg.
    [StructLayout(LayoutKind.Sequential)]
    internal struct Arg
    {
      public IntPtr Text;
      public int Number;
      public int Reserved;
    }

    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    internal static extern IntPtr tarvik_host_set_callback(TelegramCallback callback);
    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    internal static extern int tarvik_host_enable();
    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    internal static extern int tarvik_host_disable();
    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    internal static extern int tarvik_host_enabled();
    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    internal static extern void tarvik_host_set_id([MarshalAs(UnmanagedType.LPWStr)] string hostId);
    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    internal static extern void tarvik_host_set_port(int port);
    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    internal static extern int tarvik_host_listening_port();

    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    internal static extern MachineHandle tarvik_machine_create();
    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    internal static extern void tarvik_machine_destroy(IntPtr machine);
    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    internal static extern void tarvik_machine_set_id(MachineHandle machine, [MarshalAs(UnmanagedType.LPWStr)] string id);
    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    internal static extern void tarvik_machine_set_ip(MachineHandle machine, [MarshalAs(UnmanagedType.LPWStr)] string ip);
    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    internal static extern void tarvik_machine_set_port(MachineHandle machine, int port);
    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    internal static extern void tarvik_machine_set_timeout(MachineHandle machine, int timeout);
    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    internal static extern int tarvik_machine_bind(MachineHandle machine);
    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    internal static extern int tarvik_machine_unbind(MachineHandle machine);
    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    internal static extern int tarvik_machine_force_binding(MachineHandle machine);
    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    internal static extern IntPtr tarvik_machine_binding(MachineHandle machine);
    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    internal static extern int tarvik_machine_send(MachineHandle machine, int opnum, [In] Arg[] args, int count);
  }

  // Owns one native machine connection (TarvikMachine). Released when the MachineClass that holds
  // it has been collected, independently of MachineClass's own disposal.
  internal sealed class MachineHandle : SafeHandle
  {
    private MachineHandle() : base(IntPtr.Zero, true) { }

    public override bool IsInvalid
    {
      get { return handle == IntPtr.Zero; }
    }

    protected override bool ReleaseHandle()
    {
      NativeMethods.tarvik_machine_destroy(handle);
      return true;
    }
  }
}
