// Invoke by DISPID through type information: argument order, conversions, errors, name lookup, and the
// type information itself.
#include <gtest/gtest.h>

#include "platform/com/tests/test_widget.h"

namespace tarvik::com::testing {
namespace {

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override { widget_ = make_object<Widget>(nullptr); }
  IDispatch* d() { return widget_.get(); }

  // A raw Invoke with arguments given in dispatch order.
  HRESULT raw(DispId id, DispatchFlags flags, std::vector<Variant> dispatch_order, Variant* result = nullptr,
              std::uint32_t* arg_err = nullptr, ExcepInfo* excep = nullptr) {
    return d()->Invoke(id, kNullGuid, kLocaleUserDefault, flags, DispParams{dispatch_order, {}}, result,
                       excep, arg_err);
  }
  ComPtr<Widget> widget_;
};

TEST_F(DispatchTest, ArgumentsArriveLastFirst) {
  Variant result;
  // Dispatch order: the last argument (Subtrahend 3) comes first.
  ASSERT_EQ(raw(kSubtract, DISPATCH_METHOD, {Variant::i4(3), Variant::i4(10)}, &result), S_OK);
  EXPECT_EQ(result, Variant::i4(7));
  // The container helper takes arguments in declaration order.
  const Variant in_order[] = {Variant::i4(10), Variant::i4(3)};
  ASSERT_EQ(invoke(d(), kSubtract, DISPATCH_METHOD, in_order, &result), S_OK);
  EXPECT_EQ(result, Variant::i4(7));
}

TEST_F(DispatchTest, PropertiesGetAndPutWithConversion) {
  ASSERT_EQ(put_property(d(), kCount, Variant::bstr(u" 42")), S_OK);
  EXPECT_EQ(widget_->count(), 42);
  Variant v;
  ASSERT_EQ(get_property(d(), kCount, &v), S_OK);
  EXPECT_EQ(v, Variant::i4(42));
  // Callers that cannot tell a method from a property pass both flags.
  ASSERT_EQ(raw(kName, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &v), S_OK);
  EXPECT_EQ(v, Variant::bstr(u"?"));
  ASSERT_EQ(put_property(d(), kName, Variant::bstr(BStr::null())), S_OK);
  EXPECT_TRUE(widget_->name().is_null()) << "a null string passes through as null";
}

TEST_F(DispatchTest, RefusesCallsThatDoNotMatchTheTypeInformation) {
  std::uint32_t arg_err = 99;
  Variant result = Variant::i4(5);
  struct Row {
    DispId id;
    DispatchFlags flags;
    std::vector<Variant> args;
    HRESULT hr;
  } rows[] = {
      {99, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND},
      {kSubtract, DISPATCH_PROPERTYGET, {}, DISP_E_MEMBERNOTFOUND},
      {kSubtract, DISPATCH_PROPERTYPUT, {Variant::i4(1)}, DISP_E_MEMBERNOTFOUND},
      {kSubtract, DISPATCH_METHOD, {Variant::i4(1), Variant::i4(2), Variant::i4(3)}, DISP_E_BADPARAMCOUNT},
      {kSubtract, DISPATCH_METHOD, {Variant::i4(1)}, DISP_E_PARAMNOTOPTIONAL},
      {kName, DISPATCH_PROPERTYGET, {Variant::i4(1)}, DISP_E_BADPARAMCOUNT},
  };
  for (auto& row : rows) EXPECT_EQ(raw(row.id, row.flags, row.args, &result), row.hr) << row.id;

  // A conversion failure names the argument by its dispatch index.
  EXPECT_EQ(raw(kSubtract, DISPATCH_METHOD, {Variant::i4(1), Variant::bstr(u"x")}, &result, &arg_err),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(arg_err, 1u) << "the first argument sits last in dispatch order";
  EXPECT_EQ(raw(kSubtract, DISPATCH_METHOD, {Variant::array({}), Variant::i4(1)}, &result, &arg_err),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(arg_err, 0u);
  EXPECT_EQ(put_property(d(), kSmall, Variant::i4(40000)), DISP_E_OVERFLOW);

  // Named arguments other than a put's value are refused; a put may name its value.
  const Variant one[] = {Variant::i4(1)};
  const DispId named_first[] = {0};
  EXPECT_EQ(d()->Invoke(kCount, kNullGuid, 0, DISPATCH_PROPERTYPUT, DispParams{one, named_first}, nullptr,
                        nullptr, nullptr),
            DISP_E_NONAMEDARGS);
  EXPECT_EQ(d()->Invoke(kCount, make_guid("{00000001-0000-0000-0000-000000000000}"), 0, DISPATCH_PROPERTYGET,
                        DispParams{}, &result, nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
  EXPECT_EQ(result, Variant::i4(5)) << "no failed call touches the result";
}

TEST_F(DispatchTest, TheFunctionsOwnFailureComesBackUnchanged) {
  ExcepInfo excep;
  EXPECT_EQ(raw(kCount, DISPATCH_PROPERTYPUT, {Variant::i4(-1)}, nullptr, nullptr, &excep), E_INVALIDARG);
  EXPECT_EQ(excep.scode, E_INVALIDARG);
  EXPECT_EQ(widget_->count(), 0);
}

TEST_F(DispatchTest, NamesResolveThroughTheTypeInformation) {
  EXPECT_EQ(dispid_of(d(), u"subtract"), kSubtract) << "names match without regard to case";
  EXPECT_EQ(dispid_of(d(), u"Nothing"), DISPID_UNKNOWN);
  const std::u16string names[] = {u"Subtract", u"SUBTRAHEND", u"Bogus", u"Minuend"};
  DispId ids[4];
  EXPECT_EQ(d()->GetIDsOfNames(kNullGuid, names, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], kSubtract);
  EXPECT_EQ(ids[1], 1);
  EXPECT_EQ(ids[2], DISPID_UNKNOWN);
  EXPECT_EQ(ids[3], 0);

  std::shared_ptr<const InterfaceInfo> info;
  EXPECT_EQ(d()->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
  ASSERT_EQ(d()->GetTypeInfo(0, 0, &info), S_OK);
  EXPECT_EQ(info->iid, kIidIWidget);
}

TEST(TypeLibraryPrinter, PrintsEveryItemInDeclarationOrder) {
  TypeLibrary lib;
  lib.libid = make_guid("{03B415E0-4F2E-11D3-9DC3-00A0249B4877}");
  lib.name = "LIB";
  lib.help = "say \"hi\"";
  InterfaceInfo events{make_guid("{00000000-0000-0000-0000-0000000000E1}"),
                       "_Events",
                       "",
                       InterfaceKind::dispatch_only,
                       {{"Ping", 10, FuncKind::method, {{"Arr", VT_VARIANT}, {"Text", VT_BSTR}}, ""}}};
  lib.add(events);
  lib.add(ClassInfo{make_guid("{00000000-0000-0000-0000-0000000000C1}"), "Thing", "Thing Class", true,
                    make_guid("{00000000-0000-0000-0000-0000000000D1}"), events.iid});
  lib.add(InterfaceInfo{
      make_guid("{00000000-0000-0000-0000-0000000000D1}"),
      "IThing",
      "",
      InterfaceKind::dual,
      {{"Port", 3, FuncKind::property_get, {{"pVal", VT_I4, false, true}}, "Port help"},
       {"Port", 3, FuncKind::property_put, {{"", VT_I4}}, "Port help"},
       {"Go", 10, FuncKind::method, {{"Name", VT_BSTR, true}, {"ret", VT_I4, false, true}}, ""}}});
  EXPECT_EQ(print_type_library(lib),
            "[uuid(03B415E0-4F2E-11D3-9DC3-00A0249B4877), version(1.0), helpstring(\"say \\\"hi\\\"\")]\n"
            "library LIB\n"
            "{\n"
            "    [uuid(00000000-0000-0000-0000-0000000000E1)]\n"
            "    dispinterface _Events\n"
            "    {\n"
            "        [id(10)] void Ping(VARIANT Arr, BSTR Text);\n"
            "    };\n"
            "    [uuid(00000000-0000-0000-0000-0000000000C1), helpstring(\"Thing Class\")]\n"
            "    coclass Thing\n"
            "    {\n"
            "        [default] interface IThing;\n"
            "        [default, source] dispinterface _Events;\n"
            "    };\n"
            "    [uuid(00000000-0000-0000-0000-0000000000D1), dual]\n"
            "    interface IThing : IDispatch\n"
            "    {\n"
            "        [propget, id(3), helpstring(\"Port help\")] HRESULT Port([out, retval] long* pVal);\n"
            "        [propput, id(3), helpstring(\"Port help\")] HRESULT Port([in] long);\n"
            "        [id(10)] HRESULT Go([in] BSTR* Name, [out, retval] long* ret);\n"
            "    };\n"
            "};\n");
  EXPECT_EQ(lib.find_class("thing")->default_source, events.iid);
  EXPECT_EQ(lib.find_interface("ithing")->find("go")->id, 10);
}

}  // namespace
}  // namespace tarvik::com::testing
