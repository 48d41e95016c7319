#include "tools/telegram_names.h"

#include <algorithm>
#include <cctype>

namespace tarvik::cli {

using namespace protocol;

std::string unknown_telegram_message(std::string_view name, const Interface* wanted) {
  const TelegramInfo* t = find_telegram(name);
  if (t != nullptr && wanted != nullptr && t->iface != *wanted) {
    const bool machine = t->iface == Interface::machine;
    return std::string(name) + " goes from " + (machine ? "the host to a machine" : "a machine to the host") +
           ": use `tarvik " + (machine ? "send" : "notify") + " " + std::string(name) + "`";
  }
  std::string out = "unknown telegram " + std::string(name);
  // A name in the wrong case is the likeliest typo.
  for (const TelegramInfo& v : wanted ? telegrams(*wanted) : telegrams())
    if (v.name.size() == name.size() &&
        std::equal(v.name.begin(), v.name.end(), name.begin(), [](char a, char b) {
          return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
        }))
      out += " (did you mean " + std::string(v.name) + "?)";
  out += "; valid:";
  for (const TelegramInfo& v : wanted ? telegrams(*wanted) : telegrams()) out += " " + std::string(v.name);
  return out;
}

}  // namespace tarvik::cli
