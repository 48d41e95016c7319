// String bindings: "[uuid@]protseq:[address][[endpoint][,option=value...]]".
//
// Parsing is generic: it checks the shape of the string, the object UUID and the characters of the
// protocol sequence; what a protocol sequence accepts as address and endpoint is checked where a
// binding is made from the string (client.cpp). A backslash makes the next character literal; the
// delimiters are found among unescaped characters only and each part is unescaped afterwards.
#include <string>
#include <string_view>

#include "platform/rpc/client.h"

namespace tarvik::rpc {
namespace {

// Characters that separate the parts of a string binding and so are escaped when composing.
bool is_delimiter(char c) {
  return c == '@' || c == ':' || c == '[' || c == ']' || c == '\\';
}

void append_escaped(std::string& out, std::string_view part) {
  for (char c : part) {
    if (is_delimiter(c)) out.push_back('\\');
    out.push_back(c);
  }
}

// Index of the first unescaped `wanted` at or after `from`, or npos.
std::size_t find_unescaped(std::string_view text, char wanted, std::size_t from = 0) {
  for (std::size_t i = from; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;  // the next character is literal
    } else if (text[i] == wanted) {
      return i;
    }
  }
  return std::string_view::npos;
}

// Removes the escaping backslashes; false for a backslash with nothing after it.
bool unescape(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\') {
      if (++i == text.size()) return false;
    }
    out.push_back(text[i]);
  }
  return true;
}

// "ncacn_ip_tcp", "ncalrpc", ...: letters, digits and underscores.
bool valid_protseq_chars(std::string_view protseq) {
  if (protseq.empty()) return false;
  for (char c : protseq) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
  }
  return true;
}

bool starts_with_endpoint_key(std::string_view item) {
  constexpr std::string_view kKey = "endpoint=";
  if (item.size() < kKey.size()) return false;
  for (std::size_t i = 0; i < kKey.size(); ++i) {
    char c = item[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kKey[i]) return false;
  }
  return true;
}

// The text between the brackets: "3011", "endpoint=3011", "3011,opt=v", "opt=v".
Status parse_bracket_contents(std::string_view inside, StringBindingParts& out) {
  bool first = true;
  bool have_endpoint = false;
  std::size_t pos = 0;
  while (true) {
    const std::size_t comma = find_unescaped(inside, ',', pos);
    const std::string_view item =
        inside.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos);
    std::string value;
    if (starts_with_endpoint_key(item)) {
      if (have_endpoint) return RPC_S_INVALID_ENDPOINT_FORMAT;  // named twice
      if (!unescape(item.substr(9), value)) return RPC_S_INVALID_STRING_BINDING;
      out.endpoint = std::move(value);
      have_endpoint = true;
    } else if (find_unescaped(item, '=') != std::string_view::npos) {
      if (find_unescaped(item, '=') == 0) return RPC_S_INVALID_STRING_BINDING;  // option without a name
      if (!unescape(item, value)) return RPC_S_INVALID_STRING_BINDING;
      if (!out.options.empty()) out.options.push_back(',');
      out.options += value;
    } else if (first) {
      // A bare first item is the endpoint ("[3011]"); an empty one means no endpoint ("[]").
      if (!unescape(item, value)) return RPC_S_INVALID_STRING_BINDING;
      out.endpoint = std::move(value);
      have_endpoint = !out.endpoint.empty();
    } else {
      return RPC_S_INVALID_STRING_BINDING;  // a later item must be option=value
    }
    first = false;
    if (comma == std::string_view::npos) break;
    pos = comma + 1;
  }
  return RPC_S_OK;
}

}  // namespace

Status string_binding_compose(const StringBindingParts& parts, std::string& out) {
  out.clear();
  if (!parts.object_uuid.empty()) {
    append_escaped(out, parts.object_uuid);
    out.push_back('@');
  }
  append_escaped(out, parts.protseq);
  out.push_back(':');
  append_escaped(out, parts.network_address);
  if (!parts.endpoint.empty() || !parts.options.empty()) {
    out.push_back('[');
    append_escaped(out, parts.endpoint);
    if (!parts.options.empty()) {
      out.push_back(',');
      append_escaped(out, parts.options);  // ',' and '=' stay: they structure the options
    }
    out.push_back(']');
  }
  return RPC_S_OK;
}

Status string_binding_parse(std::string_view text, StringBindingParts& out) {
  out = StringBindingParts{};
  StringBindingParts parts;

  // The object UUID ends at an '@' that comes before the protocol sequence's ':'.
  const std::size_t colon = find_unescaped(text, ':');
  if (colon == std::string_view::npos) return RPC_S_INVALID_STRING_BINDING;
  std::size_t protseq_start = 0;
  const std::size_t at = find_unescaped(text, '@');
  if (at != std::string_view::npos && at < colon) {
    if (!unescape(text.substr(0, at), parts.object_uuid)) return RPC_S_INVALID_STRING_BINDING;
    if (!Uuid::parse(parts.object_uuid)) return RPC_S_INVALID_STRING_UUID;
    protseq_start = at + 1;
  }

  if (!unescape(text.substr(protseq_start, colon - protseq_start), parts.protseq)) {
    return RPC_S_INVALID_STRING_BINDING;
  }
  if (!valid_protseq_chars(parts.protseq)) return RPC_S_INVALID_RPC_PROTSEQ;

  const std::string_view rest = text.substr(colon + 1);
  const std::size_t open = find_unescaped(rest, '[');
  if (!unescape(rest.substr(0, open), parts.network_address)) return RPC_S_INVALID_STRING_BINDING;
  if (find_unescaped(rest.substr(0, open), ']') != std::string_view::npos) {
    return RPC_S_INVALID_STRING_BINDING;  // ']' without '['
  }
  if (open != std::string_view::npos) {
    const std::size_t close = find_unescaped(rest, ']', open + 1);
    // The bracket must be closed and must end the string.
    if (close == std::string_view::npos || close + 1 != rest.size()) return RPC_S_INVALID_STRING_BINDING;
    const std::string_view inside = rest.substr(open + 1, close - open - 1);
    if (find_unescaped(inside, '[') != std::string_view::npos) return RPC_S_INVALID_STRING_BINDING;
    if (Status s = parse_bracket_contents(inside, parts); s != RPC_S_OK) return s;
  }
  out = std::move(parts);
  return RPC_S_OK;
}

}  // namespace tarvik::rpc
