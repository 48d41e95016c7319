// The OK step of a send form without widgets: reads the fields' texts, converts them to the method's
// arguments and builds the call record's entries, or names the input error.
//
// Order of conversion: date fields first (a bad date empties its field and takes the focus), then
// OrderNum and the other fields in the method's argument order.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/com/variant.h"
#include "testprogram/app/send_form_description.h"
#include "testprogram/core/date_text.h"
#include "testprogram/core/rpc_value.h"

namespace tarvik::testprogram {

struct SendInput {
  std::vector<com::Variant> args;                       // declaration order, OrderNum first
  std::vector<std::pair<std::string, RpcValue>> entries;  // record entries after "Machine" and "Host"
  RpcValue order_num;                                   // the "OrderNum" entry
};

struct InputError {
  std::string control;  // the field whose text did not convert
  bool invalid_date = false;  // the form empties this field and focuses it
};

// `text_of` gives a control's text by name (UTF-8).
using FieldTexts = std::function<std::string(const std::string& control)>;

std::variant<SendInput, InputError> read_send_input(const SendFormDescription& form, const FieldTexts& text_of,
                                                  const DateTimeFormat& date_format);

// The status bar text after sending: the telegram, four blanks, "Ret = " and the result; a status of
// the RPC runtime gets its meaning in brackets ("Ret = 1722 (the RPC server is unavailable)"). Other
// results are the machine's own and stay bare numbers, even where one equals a system error number.
std::string status_text(const std::string& telegram, std::int32_t ret);

// What a field is called in messages: its control name without the three-letter prefix ("OrderNum").
std::string field_name(const std::string& control);

// Whether the Parameter1 field of C_ORDER_M is a date for this SFkt text (choice code 100).
bool is_date_and_time_code(const std::string& sfkt_text);

}  // namespace tarvik::testprogram
