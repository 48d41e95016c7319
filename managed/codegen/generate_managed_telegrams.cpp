// Writes the C# half of MachineClass that depends on the telegrams, from the one telegram table:
// the seventeen `_M` methods, the ten nested delegate types, their events with add/remove locked
// on the object, the receiving methods rR_..._H with their raise operations, and the dispatch of
// an incoming telegram's flattened fields to the receiving method of its opnum.
//
// Usage: generate_managed_telegrams OUTPUT.cs
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/incoming_telegram.h"
#include "protocol/telegram_table.h"

namespace {

using tarvik::protocol::Interface;
using tarvik::protocol::Kind;
using tarvik::protocol::Param;
using tarvik::protocol::TelegramInfo;

struct Arg {
  std::string type;  // "int" or "string"
  std::string name;
};

std::string without_psz(std::string_view name) {
  return std::string(name.starts_with("psz") ? name.substr(3) : name);
}

// A method's parameters: everything after pszHost and pszMachine, texts without their psz prefix.
std::vector<Arg> method_args(const TelegramInfo& t) {
  std::vector<Arg> out;
  for (const Param& p : t.own_params()) out.push_back({p.kind == Kind::text ? "string" : "int", without_psz(p.name)});
  return out;
}

// An event's fields after Machine: the flattened names, a name slot is a text, every other table
// element (flag bytes included, widened) a number.
std::vector<Arg> event_args(const TelegramInfo& t) {
  std::vector<Arg> out;
  const auto names = tarvik::protocol::flattened_names(t);
  std::size_t i = 0;
  for (const Param& p : t.own_params()) {
    const bool text = p.kind == Kind::text || p.kind == Kind::name_table;
    for (unsigned k = 0; k < p.count; ++k) out.push_back({text ? "string" : "int", names[i++]});
  }
  return out;
}

std::string declare(const std::vector<Arg>& args, bool leading_comma) {
  std::string s;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i > 0 || leading_comma) s += ", ";
    s += args[i].type + " " + args[i].name;
  }
  return s;
}

std::string pass(const std::vector<Arg>& args, bool leading_comma) {
  std::string s;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i > 0 || leading_comma) s += ", ";
    s += args[i].name;
  }
  return s;
}

void write_method(std::ostream& o, const TelegramInfo& t) {
  const auto args = method_args(t);
  o << "    /// <summary>Sends " << t.name << " (opnum " << t.opnum << ") and returns its status.</summary>\n"
    << "    public int " << t.name << "(" << declare(args, false) << ")\n"
    << "    {\n"
    << "      MarshalContext context = null;\n"
    << "      try\n"
    << "      {\n"
    << "        context = new MarshalContext(" << args.size() << ");\n";
  for (const Arg& a : args) o << "        context." << (a.type == "int" ? "Number" : "Text") << "(" << a.name << ");\n";
  o << "        return Send(" << t.opnum << ", context);\n"
    << "      }\n"
    << "      catch\n"
    << "      {\n"
    << "        return SendFailed();\n"
    << "      }\n"
    << "      finally\n"
    << "      {\n"
    << "        if (context != null) context.Free();\n"
    << "      }\n"
    << "    }\n\n";
}

void write_event(std::ostream& o, const TelegramInfo& t) {
  const std::string event(t.events.front().name);
  const std::string field = "m_" + event;
  const auto args = event_args(t);
  o << "    /// <summary>Handler of " << event << ", raised on an RPC runtime thread for " << t.name
    << ".</summary>\n"
    << "    public delegate void _" << event << "(MachineClass Machine" << declare(args, true) << ");\n\n"
    << "    private volatile _" << event << " " << field << ";\n\n"
    << "    /// <summary>" << t.name << " from this object's machine. Handlers run in order of subscription on\n"
    << "    /// the runtime thread that received it, before the machine gets its answer.</summary>\n"
    << "    public event _" << event << " " << event << "\n"
    << "    {\n"
    << "      add { lock (this) { " << field << " += value; } }\n"
    << "      remove { lock (this) { " << field << " -= value; } }\n"
    << "    }\n\n"
    << "    internal void r" << t.name << "(" << declare(args, false) << ")\n"
    << "    {\n"
    << "      On" << event << "(" << pass(args, false) << ");\n"
    << "    }\n\n"
    << "    /// <summary>Raises " << event << " with this object as Machine; nothing without subscribers.</summary>\n"
    << "    protected void On" << event << "(" << declare(args, false) << ")\n"
    << "    {\n"
    << "      _" << event << " handlers = " << field << ";\n"
    << "      if (handlers != null) handlers(this" << pass(args, true) << ");\n"
    << "    }\n\n";
}

void write_dispatch(std::ostream& o) {
  o << "    // Opnum of the telegram that goes to every object rather than to one machine.\n";
  for (const TelegramInfo& t : tarvik::protocol::telegrams(Interface::host))
    if (t.params.empty()) o << "    internal const int ShutdownHOpnum = " << t.opnum << ";\n\n";
  o << "    // Reads the flattened fields (0: host name, 1: machine name, then the telegram's own) in\n"
    << "    // order and calls the receiving method of the telegram. False for an unknown opnum.\n"
    << "    internal static bool Deliver(MachineClass machine, int opnum, IncomingFields fields)\n"
    << "    {\n"
    << "      switch (opnum)\n"
    << "      {\n";
  for (const TelegramInfo& t : tarvik::protocol::telegrams(Interface::host)) {
    if (t.params.empty()) {
      o << "        case " << t.opnum << ":\n"
        << "          machine.r" << t.name << "();\n"
        << "          return true;\n";
      continue;
    }
    const auto args = event_args(t);
    o << "        case " << t.opnum << ":\n"
      << "          {\n";
    for (std::size_t i = 0; i < args.size(); ++i)
      o << "            " << args[i].type << " " << args[i].name << " = fields." << (args[i].type == "int" ? "Number" : "Text")
        << "(" << i + 2 << ");\n";
    o << "            machine.r" << t.name << "(" << pass(args, false) << ");\n"
      << "            return true;\n"
      << "          }\n";
  }
  o << "        default:\n"
    << "          return false;\n"
    << "      }\n"
    << "    }\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.cs\n", argv[0]);
    return 2;
  }
  std::ostringstream o;
  o << "// Generated by generate_managed_telegrams from the telegram table. Do not edit.\n"
    << "using System;\n\n"
    << "namespace Vortane.Tarvik.Rpc\n"
    << "{\n"
    << "  public partial class MachineClass\n"
    << "  {\n";
  for (const TelegramInfo& t : tarvik::protocol::telegrams(Interface::machine)) write_method(o, t);
  // The delegate names are the system's own; their leading underscore is outside the CLS naming rule.
  o << "#pragma warning disable 3008\n\n";
  for (const TelegramInfo& t : tarvik::protocol::telegrams(Interface::host)) write_event(o, t);
  o << "#pragma warning restore 3008\n\n";
  write_dispatch(o);
  o << "  }\n"
    << "}\n";

  // Rewrite only on change, so the assembly is not rebuilt for nothing.
  const std::string text = o.str();
  {
    std::ifstream in(argv[1], std::ios::binary);
    std::ostringstream old;
    old << in.rdbuf();
    if (in && old.str() == text) return 0;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << text;
  return out ? 0 : 1;
}
