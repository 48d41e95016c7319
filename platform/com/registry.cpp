#include "platform/com/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/com/text_lines.h"

namespace tarvik::com {
namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

bool valid_path(std::string_view key) {
  if (key.empty() || key.front() == '\\' || key.back() == '\\') return false;
  if (key.find("\\\\") != std::string_view::npos) return false;
  return key.find_first_of("\r\n") == std::string_view::npos;
}

std::string quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"')
      out += '\\', out += c;
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out + "\"";
}

// Reads a quoted string at text[pos]; advances pos past the closing quote.
std::optional<std::string> unquote(std::string_view text, std::size_t& pos) {
  if (pos >= text.size() || text[pos] != '"') return std::nullopt;
  std::string out;
  for (++pos; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c == '"') {
      ++pos;
      return out;
    }
    if (c == '\\') {
      if (++pos >= text.size()) return std::nullopt;
      const char e = text[pos];
      if (e == 'n')
        out += '\n';
      else if (e == '\\' || e == '"')
        out += e;
      else
        return std::nullopt;
    } else {
      out += c;
    }
  }
  return std::nullopt;
}

// Holds an exclusive lock on `path`.lock for as long as it lives.
class FileLock {
 public:
  explicit FileLock(const std::string& path) {
    fd_ = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

HRESULT read_file(const std::string& path, Registry* out) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    if (errno != ENOENT) return REGDB_E_READREGDB;
    *out = Registry();
    return S_OK;
  }
  std::string text;
  char buf[8192];
  std::size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && text.size() <= kMaxRegistryFileSize)
    text.append(buf, n);
  const bool error = std::ferror(f) != 0;
  std::fclose(f);
  if (error || text.size() > kMaxRegistryFileSize) return REGDB_E_READREGDB;
  auto parsed = Registry::parse(text);
  if (!parsed) return REGDB_E_READREGDB;
  *out = std::move(*parsed);
  return S_OK;
}

HRESULT write_file(const std::string& path, const Registry& reg) {
  const std::string tmp = path + ".tmp." + std::to_string(::getpid());
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return REGDB_E_WRITEREGDB;
  const std::string text = reg.to_text();
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::fflush(f) == 0 &&
                  ::fsync(::fileno(f)) == 0;
  if (std::fclose(f) != 0 || !ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    return REGDB_E_WRITEREGDB;
  }
  return S_OK;
}

}  // namespace

bool Registry::key_exists(std::string_view key) const {
  return keys_.count(lower(key)) != 0;
}

bool Registry::create_key(std::string_view key) {
  if (!valid_path(key)) return false;
  for (std::size_t end = key.find('\\');; end = key.find('\\', end + 1)) {
    const std::string_view prefix = key.substr(0, end);
    auto [it, inserted] = keys_.try_emplace(lower(prefix));
    if (inserted) it->second.path = std::string(prefix);
    if (end == std::string_view::npos) return true;
  }
}

bool Registry::set_value(std::string_view key, std::string_view name, std::string_view value) {
  if (!create_key(key)) return false;
  Key& k = keys_[lower(key)];
  if (name.empty()) {
    k.default_value = std::string(value);
    return true;
  }
  for (auto& [n, v] : k.values) {
    if (lower(n) == lower(name)) {
      v = std::string(value);
      return true;
    }
  }
  k.values.emplace_back(std::string(name), std::string(value));
  return true;
}

std::optional<std::string> Registry::value(std::string_view key, std::string_view name) const {
  const auto it = keys_.find(lower(key));
  if (it == keys_.end()) return std::nullopt;
  if (name.empty()) return it->second.default_value;
  for (const auto& [n, v] : it->second.values)
    if (lower(n) == lower(name)) return v;
  return std::nullopt;
}

std::vector<std::string> Registry::subkeys(std::string_view key) const {
  const std::string prefix = lower(key) + "\\";
  std::vector<std::string> out;
  for (auto it = keys_.lower_bound(prefix); it != keys_.end() && it->first.starts_with(prefix); ++it) {
    const std::string_view rest = std::string_view(it->second.path).substr(prefix.size());
    if (rest.find('\\') == std::string_view::npos) out.emplace_back(rest);
  }
  return out;
}

std::vector<std::string> Registry::keys() const {
  std::vector<std::string> out;
  for (const auto& [l, k] : keys_) out.push_back(k.path);
  return out;
}

bool Registry::delete_tree(std::string_view key) {
  const std::string l = lower(key);
  if (!keys_.erase(l)) return false;
  const std::string prefix = l + "\\";
  for (auto it = keys_.lower_bound(prefix); it != keys_.end() && it->first.starts_with(prefix);)
    it = keys_.erase(it);
  return true;
}

std::string Registry::to_text() const {
  std::string out = "# Tarvik class registry\n";
  for (const auto& [l, k] : keys_) {
    out += "\n[" + k.path + "]\n";
    if (k.default_value) out += "@=" + quote(*k.default_value) + "\n";
    for (const auto& [n, v] : k.values) out += quote(n) + "=" + quote(v) + "\n";
  }
  return out;
}

std::optional<Registry> Registry::parse(std::string_view text, std::string* error) {
  Registry reg;
  std::string current;
  std::size_t line_no = 0;
  auto fail = [&](const char* why) -> std::optional<Registry> {
    if (error) *error = "line " + std::to_string(line_no) + ": " + why;
    return std::nullopt;
  };
  while (!text.empty()) {
    ++line_no;
    std::string_view line = take_line(text);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    if (line.front() == '[') {
      if (line.back() != ']') return fail("key line without closing bracket");
      current = std::string(line.substr(1, line.size() - 2));
      if (!reg.create_key(current)) return fail("invalid key path");
      continue;
    }
    if (current.empty()) return fail("value before the first key");
    std::size_t pos = 0;
    std::string name;
    if (line.front() == '@') {
      pos = 1;
    } else {
      auto n = unquote(line, pos);
      if (!n || n->empty()) return fail("bad value name");
      name = std::move(*n);
    }
    if (pos >= line.size() || line[pos] != '=') return fail("expected =");
    ++pos;
    auto v = unquote(line, pos);
    if (!v) return fail("bad quoted value");
    if (pos != line.size()) return fail("text after the value");
    reg.set_value(current, name, *v);
  }
  return reg;
}

std::string registry_path() {
  if (const char* p = std::getenv("TARVIK_REGISTRY"); p && *p) return p;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) return std::string(x) + "/tarvik/registry";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.config/tarvik/registry";
}

HRESULT load_registry(const std::string& path, Registry* out) {
  if (!out) return E_POINTER;
  return read_file(path, out);
}

HRESULT update_registry(const std::string& path, const std::function<HRESULT(Registry&)>& change) {
  std::error_code ec;
  const auto dir = std::filesystem::path(path).parent_path();
  if (!dir.empty()) std::filesystem::create_directories(dir, ec);
  FileLock lock(path);
  if (!lock.held()) return REGDB_E_WRITEREGDB;
  Registry reg;
  HRESULT hr = read_file(path, &reg);
  if (failed(hr)) return hr;
  hr = change(reg);
  if (failed(hr)) return hr;
  return write_file(path, reg);
}

}  // namespace tarvik::com
