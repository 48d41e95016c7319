#include "platform/codepage/iconv_cache.h"

#include <algorithm>
#include <cerrno>
#include <vector>

namespace tarvik::codepage::detail {

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);
const std::size_t kConversionFailed = static_cast<std::size_t>(-1);

struct CachedConverter {
  std::string to, from;
  iconv_t cd;  // kNoConverter when iconv could not open it (remembered so it is not retried)
};

class ConverterCache {
 public:
  ConverterCache() = default;
  ConverterCache(const ConverterCache&) = delete;
  ConverterCache& operator=(const ConverterCache&) = delete;
  ~ConverterCache() {
    for (auto& entry : entries_)
      if (entry.cd != kNoConverter) iconv_close(entry.cd);
  }

  iconv_t get(const std::string& to, const std::string& from) {
    for (auto& entry : entries_)
      if (entry.to == to && entry.from == from) return entry.cd;
    entries_.push_back({to, from, iconv_open(to.c_str(), from.c_str())});
    return entries_.back().cd;
  }

 private:
  std::vector<CachedConverter> entries_;  // a handful per thread: one per code page and direction
};

// Runs iconv over the input (or flushes when `src` is null), growing `out` while iconv reports that
// the output is full. Returns false when iconv refused input.
bool run(iconv_t cd, char** src, std::size_t* src_left, std::string& out) {
  // Room doubles each round, so that even one character with a long transliteration fits eventually.
  for (std::size_t room = std::max<std::size_t>(32, (src_left ? *src_left : 0) * 4);; room *= 2) {
    const std::size_t used = out.size();
    out.resize(used + room);
    char* dst = out.data() + used;
    std::size_t dst_left = room;
    const std::size_t result = iconv(cd, src, src_left, &dst, &dst_left);
    const int error = errno;
    out.resize(out.size() - dst_left);
    if (result != kConversionFailed) return true;
    if (error != E2BIG) return false;
  }
}

}  // namespace

iconv_t thread_converter(const std::string& to, const std::string& from) {
  thread_local ConverterCache cache;
  const iconv_t cd = cache.get(to, from);
  if (cd == kNoConverter) return nullptr;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  return cd;
}

bool convert_append(iconv_t cd, std::string_view& in, std::string& out) {
  char* src = const_cast<char*>(in.data());  // iconv's signature is not const-correct; it only reads
  std::size_t src_left = in.size();
  const bool converted = run(cd, &src, &src_left, out);
  in = std::string_view(src, src_left);
  // Flush also after refused input, so that a letter held back before it is not lost.
  const bool flushed = run(cd, nullptr, nullptr, out);
  return converted && flushed;
}

}  // namespace tarvik::codepage::detail
