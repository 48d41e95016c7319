#include "platform/com/manifest.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>

#include "platform/com/text_lines.h"
#include "platform/com/typeinfo.h"

namespace tarvik::com {
namespace {

constexpr std::size_t kMaxManifestSize = 1u << 20;

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

bool parse_version(std::string_view text, std::uint16_t& major, std::uint16_t& minor) {
  const std::size_t dot = text.find('.');
  if (dot == std::string_view::npos) return false;
  const auto a = std::from_chars(text.data(), text.data() + dot, major);
  const auto b = std::from_chars(text.data() + dot + 1, text.data() + text.size(), minor);
  return a.ec == std::errc() && a.ptr == text.data() + dot && b.ec == std::errc() &&
         b.ptr == text.data() + text.size();
}

}  // namespace

const ManifestModule* Manifest::module_of(const Guid& clsid) const {
  for (const auto& m : modules)
    for (const auto& c : m.classes)
      if (c.clsid == clsid) return &m;
  return nullptr;
}

std::optional<Guid> Manifest::clsid_of(std::string_view prog_id) const {
  for (const auto& m : modules)
    for (const auto& c : m.classes)
      for (const auto& p : c.prog_ids)
        if (equal_names(p, prog_id)) return c.clsid;
  return std::nullopt;
}

const ManifestModule* Manifest::module_of_typelib(const Guid& libid, std::uint16_t major,
                                                  std::uint16_t minor) const {
  for (const auto& m : modules)
    if (m.typelib == libid && m.typelib_major == major && m.typelib_minor == minor) return &m;
  return nullptr;
}

std::optional<Manifest> Manifest::parse(std::string_view text, const std::string& base_dir,
                                        std::string* error) {
  Manifest out;
  std::size_t line_no = 0;
  auto fail = [&](const char* why) -> std::optional<Manifest> {
    if (error) *error = "line " + std::to_string(line_no) + ": " + why;
    return std::nullopt;
  };
  while (!text.empty()) {
    ++line_no;
    std::string_view line = take_line(text);
    const auto w = words(line);
    if (w.empty() || w[0].front() == '#') continue;
    if (w[0] == "module") {
      if (w.size() != 2) return fail("module takes one path");
      std::filesystem::path p(w[1]);
      if (p.is_relative()) p = std::filesystem::path(base_dir) / p;
      out.modules.push_back({p.lexically_normal().string(), {}, std::nullopt, 0, 0});
    } else if (w[0] == "class") {
      if (out.modules.empty()) return fail("class before any module");
      if (w.size() < 2) return fail("class needs a class identifier");
      const auto clsid = Guid::parse(w[1]);
      if (!clsid) return fail("malformed class identifier");
      ManifestClass c{*clsid, {}};
      for (std::size_t i = 2; i < w.size(); ++i) c.prog_ids.emplace_back(w[i]);
      out.modules.back().classes.push_back(std::move(c));
    } else if (w[0] == "typelib") {
      if (out.modules.empty()) return fail("typelib before any module");
      if (w.size() != 3) return fail("typelib takes an identifier and a version");
      auto& m = out.modules.back();
      m.typelib = Guid::parse(w[1]);
      if (!m.typelib || !parse_version(w[2], m.typelib_major, m.typelib_minor))
        return fail("malformed type library identifier or version");
    } else {
      return fail("unknown item");
    }
  }
  return out;
}

std::string default_manifest_path() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.string() + ".manifest";
}

HRESULT load_manifest(const std::string& path, Manifest* out) {
  if (!out) return E_POINTER;
  *out = Manifest();
  if (path.empty()) return S_FALSE;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return errno == ENOENT ? S_FALSE : REGDB_E_READREGDB;
  std::string text;
  char buf[4096];
  std::size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && text.size() <= kMaxManifestSize) text.append(buf, n);
  const bool error = std::ferror(f) != 0;
  std::fclose(f);
  if (error) return REGDB_E_READREGDB;
  if (text.size() > kMaxManifestSize) return REGDB_E_INVALIDVALUE;
  auto parsed = Manifest::parse(text, std::filesystem::path(path).parent_path().string());
  if (!parsed) return REGDB_E_INVALIDVALUE;
  *out = std::move(*parsed);
  return S_OK;
}

}  // namespace tarvik::com
