#include "testprogram/app/send_form_input.h"

#include "platform/rpc/status.h"
#include "testprogram/core/number_text.h"

namespace tarvik::testprogram {
namespace {

constexpr int kDateAndTimeCode = 100;

struct Converted {
  com::Variant arg;
  RpcValue entry;
};

}  // namespace

bool is_date_and_time_code(const std::string& sfkt_text) {
  const std::optional<std::int32_t> code = choice_code(sfkt_text);
  return code && *code == kDateAndTimeCode;
}

std::string status_text(const std::string& telegram, std::int32_t ret) {
  std::string text = telegram + "    Ret = " + std::to_string(ret);
  // The runtime's own statuses are the ones named RPC_S_... / RPC_X_... in the runtime's table.
  if (ret != rpc::RPC_S_OK && rpc::status_name(ret).starts_with("RPC_"))
    text += " (" + std::string(rpc::status_message(ret)) + ")";
  return text;
}

std::string field_name(const std::string& control) { return control.size() > 3 ? control.substr(3) : control; }

std::variant<SendInput, InputError> read_send_input(const SendFormDescription& form, const FieldTexts& text_of,
                                                  const DateTimeFormat& date_format) {
  const SendField* sfkt = form.field("cboSFkt");
  const bool parameter_is_date = sfkt && is_date_and_time_code(text_of(sfkt->control));
  const auto is_date = [&](const SendField& f) {
    return f.kind == FieldKind::date || (f.kind == FieldKind::number_or_date && parameter_is_date);
  };

  // Date fields are checked before anything else is converted.
  std::vector<std::optional<std::int32_t>> dates(form.fields.size());
  for (std::size_t i = 0; i < form.fields.size(); ++i) {
    const SendField& f = form.fields[i];
    if (!is_date(f)) continue;
    dates[i] = date_field_seconds(text_of(f.control), date_format);
    if (!dates[i]) return InputError{f.control, true};
  }

  SendInput in;
  const std::string order_text = text_of("txtOrderNum");
  const std::optional<std::int32_t> order = number_field_value(order_text);
  if (!order) return InputError{"txtOrderNum", false};
  in.args.push_back(com::Variant::i4(*order));
  in.order_num = form.order_num_as_typed ? RpcValue(order_text) : RpcValue(value_of_text(order_text));

  for (std::size_t i = 0; i < form.fields.size(); ++i) {
    const SendField& f = form.fields[i];
    const std::string text = text_of(f.control);
    std::optional<Converted> c;
    if (is_date(f)) {
      c = Converted{com::Variant::i4(*dates[i]), *dates[i]};
    } else {
      switch (f.kind) {
        case FieldKind::text:
          c = Converted{com::Variant::bstr(com::BStr::from_utf8(text)), text};
          break;
        case FieldKind::number:
        case FieldKind::number_or_date:
        case FieldKind::date:
          if (auto v = number_field_value(text)) c = Converted{com::Variant::i4(*v), value_of_text(text)};
          break;
        case FieldKind::choice:
          if (auto v = choice_code(text)) c = Converted{com::Variant::i4(*v), *v};
          break;
        case FieldKind::whole_number:
          if (auto v = whole_text_to_int32(text)) c = Converted{com::Variant::i4(*v), *v};
          break;
      }
    }
    if (!c) return InputError{f.control, false};
    if (f.record_value == RecordValue::text_as_typed) c->entry = text;
    if (f.record_value == RecordValue::converted_number) c->entry = c->arg.as_i4();
    in.args.push_back(std::move(c->arg));
    in.entries.emplace_back(f.record_name, std::move(c->entry));
  }
  return in;
}

}  // namespace tarvik::testprogram
