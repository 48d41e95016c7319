#include "testprogram/core/call_record.h"

#include <algorithm>
#include <cctype>
#include <type_traits>

#include "testprogram/core/ansi_text.h"
#include "testprogram/core/number_text.h"

namespace tarvik::testprogram {
namespace {

constexpr std::string_view kLineBreak = "\r\n";
constexpr std::string_view kIndent = "          ";  // ten blanks open every value line
constexpr std::string_view kPieceGap = "   ";

bool same_name(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

std::string pad2(int v) {
  return (v < 10 ? "0" : "") + std::to_string(v);
}

std::string element_text(const RpcScalar& element) {
  return std::visit(
      [](const auto& v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, RpcByte>) {
          return v.value == 0 ? std::string("0") : ansi_char_to_utf8(v.value);
        } else if constexpr (std::is_same_v<T, std::string>) {
          return v;
        } else if constexpr (std::is_same_v<T, double>) {
          return format_number(v);
        } else {
          return std::to_string(v);
        }
      },
      element);
}

}  // namespace

clsRpcData::clsRpcData(const TextMeasure* measure, Clock clock)
    : measure_(measure), clock_(std::move(clock)), current_line_(kIndent) {}

std::string clsRpcData::format_time_stamp(const LocalDateTime& when) {
  return pad2(when.day) + "." + pad2(when.month) + "." + std::to_string(when.year) + " " + pad2(when.hour) +
         ":" + pad2(when.minute) + ":" + pad2(when.second);
}

std::string clsRpcData::format_piece(std::string_view name, const RpcValue& value) {
  std::string piece(name);
  if (const auto* text = std::get_if<std::string>(&value)) {
    piece.append("->\"").append(*text).append("\"");
  } else if (const auto* list = std::get_if<RpcList>(&value)) {
    const std::int64_t upper = static_cast<std::int64_t>(list->lower_bound) + std::ssize(list->elements) - 1;
    piece.append("( ")
        .append(std::to_string(list->lower_bound))
        .append(" ... ")
        .append(std::to_string(upper));
    piece.append(" ) -> ");
    for (const RpcScalar& element : list->elements) piece.append(element_text(element)).append(" ");
  } else {
    piece.append("->");
    std::visit(
        [&piece](const auto& v) {
          using T = std::decay_t<decltype(v)>;
          if constexpr (std::is_same_v<T, RpcByte>)
            piece.append(std::to_string(v.value));
          else if constexpr (std::is_same_v<T, double>)
            piece.append(format_number(v));
          else if constexpr (std::is_same_v<T, std::int32_t>)
            piece.append(std::to_string(v));
        },
        value);
  }
  piece.append(kPieceGap);
  return piece;
}

void clsRpcData::set_rpc_name(std::string_view RpcName, std::optional<std::int32_t> RetValue) {
  rpc_name_ = std::string(RpcName);
  text_ = format_time_stamp(clock_()) + "  " + rpc_name_;
  if (RetValue) text_ += "       Ret=" + std::to_string(*RetValue);
  text_ += kLineBreak;
  current_line_ = kIndent;
}

bool clsRpcData::add_rpc_param(std::string_view RpcParamName, RpcValue RpcParamData) {
  for (const auto& [name, value] : params_) {
    if (same_name(name, RpcParamName)) return false;
  }
  std::string piece = format_piece(RpcParamName, RpcParamData);
  params_.emplace_back(std::string(RpcParamName), std::move(RpcParamData));
  if (measure_ && measure_->text_width(current_line_ + piece) >= measure_->available_width()) {
    text_.append(current_line_).append(kLineBreak);
    current_line_ = std::string(kIndent) + piece;
  } else {
    current_line_ += piece;
  }
  return true;
}

const std::string& clsRpcData::get_as_string() {
  if (current_line_.find_first_not_of(' ') != std::string::npos) {
    text_.append(current_line_).append(kLineBreak);
    current_line_.clear();
  }
  return text_;
}

}  // namespace tarvik::testprogram
