/* The C ABI of libVortaneTarvikNative.so: the protocol layer as the managed assembly
 * Vortane.Tarvik.Rpc reaches it through P/Invoke.
 *
 * Texts cross as zero-terminated UTF-16 (char16_t, the CLR's LPWStr); a null pointer is a null
 * text. Every conversion to and from the 8-bit wire text happens here, in the calling thread's
 * code page, without best fit (characters without an exact equivalent become the code page's
 * default character).
 *
 * Host side (one per process, created on first use, never destroyed): HostID, HostPort and the
 * host endpoint with MEVRIXHOST. Incoming telegrams reach managed code through ONE callback.
 *
 * Machine side: one TarvikMachine per MachineClass object, owning the machine's settings and its
 * binding. Every function on one TarvikMachine is safe to call from several threads: telegram
 * calls on one machine are serialised (they share its binding), setters never wait for a call.
 *
 * Statuses are the runtime's 32-bit numbers (0 = success).
 */
#ifndef TARVIK_MANAGED_NATIVE_TARVIK_NATIVE_H
#define TARVIK_MANAGED_NATIVE_TARVIK_NATIVE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TARVIK_NATIVE_API __attribute__((visibility("default")))

/* One field of an incoming telegram. Texts: `text` points to `text_length` UTF-16 units followed
 * by a zero; `number` is 0. Numbers (table elements and flag bytes included, flags as 0..255):
 * `text` is null. Valid only during the callback. 16 bytes on x64. */
typedef struct TarvikField {
  const char16_t* text;
  int32_t text_length;
  int32_t number;
} TarvikField;

/* Called on an RPC runtime thread, several at once, for each `_H` telegram: `opnum` of MEVRIXHOST,
 * `fields[0]` the host name, `fields[1]` the machine name, then the telegram's fields after the
 * machine name with the tables flattened in element order (`count` in all; 0 for Shutdown_H).
 * The result goes back to the machine (ignored for Shutdown_H). Must not throw or unwind. */
typedef int32_t (*TarvikTelegramCallback)(int32_t opnum, const TarvikField* fields, int32_t count);

/* Installs the callback (null: telegrams are answered -111 and nothing is called). The function
 * must stay callable for as long as it is installed. Returns the previous one. */
TARVIK_NATIVE_API TarvikTelegramCallback tarvik_host_set_callback(TarvikTelegramCallback callback);

/* RpcHostEnable / RpcHostDisable of the process's host endpoint. Disable waits for the routines in
 * progress (a routine that disables from inside its own call does not wait for itself). */
TARVIK_NATIVE_API int32_t tarvik_host_enable(void);
TARVIK_NATIVE_API int32_t tarvik_host_disable(void);
TARVIK_NATIVE_API int32_t tarvik_host_enabled(void); /* 1 while MEVRIXHOST is registered */
/* HostID ("?" initially; null allowed) and HostPort (3010 initially; used at the next enable). */
TARVIK_NATIVE_API void tarvik_host_set_id(const char16_t* host_id);
TARVIK_NATIVE_API void tarvik_host_set_port(int32_t port);
TARVIK_NATIVE_API int32_t tarvik_host_port(void);
/* The TCP port the endpoint listens on (the chosen one when HostPort was 0); 0 before any enable. */
TARVIK_NATIVE_API int32_t tarvik_host_listening_port(void);

typedef struct TarvikMachine TarvikMachine;

/* One argument of an `_M` telegram after pszHost and pszMachine, OrderNum first. For a text
 * parameter `text` is the zero-terminated UTF-16 text or null; for a number, `number`. */
typedef struct TarvikArg {
  const char16_t* text;
  int32_t number;
  int32_t reserved;
} TarvikArg;

/* A machine connection with MachineID "?", MachineIP "?", MachinePort 3011, MachineTimeout 5,
 * not bound. Null only when memory runs out. */
TARVIK_NATIVE_API TarvikMachine* tarvik_machine_create(void);
/* Frees the binding and the connection. Null is ignored. */
TARVIK_NATIVE_API void tarvik_machine_destroy(TarvikMachine* machine);

/* Settings; stored unchanged (no range check), the binding stays. Null texts allowed. */
TARVIK_NATIVE_API void tarvik_machine_set_id(TarvikMachine* machine, const char16_t* machine_id);
TARVIK_NATIVE_API void tarvik_machine_set_ip(TarvikMachine* machine, const char16_t* machine_ip);
TARVIK_NATIVE_API void tarvik_machine_set_port(TarvikMachine* machine, int32_t port);
TARVIK_NATIVE_API void tarvik_machine_set_timeout(TarvikMachine* machine, int32_t timeout);

/* BindMevrix, UnbindMevrix, ForceBinding, IsBind. */
TARVIK_NATIVE_API int32_t tarvik_machine_bind(TarvikMachine* machine);
TARVIK_NATIVE_API int32_t tarvik_machine_unbind(TarvikMachine* machine);
TARVIK_NATIVE_API int32_t tarvik_machine_force_binding(TarvikMachine* machine);
TARVIK_NATIVE_API int32_t tarvik_machine_is_bound(TarvikMachine* machine);
/* The binding handle as an opaque pointer (null while not bound), for diagnostics only. */
TARVIK_NATIVE_API void* tarvik_machine_binding(TarvikMachine* machine);

/* Sends the `_M` telegram with this opnum of MEVRIXMACHINE: starts the host endpoint, binds if
 * needed, converts the texts, calls, and returns the machine's long (0 for Shutdown_M), the status
 * of starting or binding, or 1722 after any failure during the call (the binding is then dropped).
 * An unknown opnum or a `count` that does not match the telegram: 87, nothing done. */
TARVIK_NATIVE_API int32_t tarvik_machine_send(TarvikMachine* machine, int32_t opnum, const TarvikArg* args,
                                              int32_t count);

/* Sets the calling thread's ANSI code page (0 = the process default); 0 if unsupported, else 1. */
TARVIK_NATIVE_API int32_t tarvik_set_thread_codepage(uint32_t codepage);

#ifdef __cplusplus
}
#endif

#endif /* TARVIK_MANAGED_NATIVE_TARVIK_NATIVE_H */
