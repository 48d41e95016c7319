#include "testprogram/core/value_history.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "temp_program_dir.h"
#include "testprogram/core/ini_values.h"

namespace tarvik::testprogram {
namespace {

struct FakeControl : FormControlView {
  FakeControl(std::string n, ControlKind k, std::string t = "")
      : name(std::move(n)), kind(k), text(std::move(t)) {}
  std::string Name() const override { return name; }
  ControlKind Kind() const override { return kind; }
  std::string Text() const override { return text; }
  void SetText(const std::string& t) override { text = t; }
  std::string name;
  ControlKind kind;
  std::string text;
};

struct FakeForm : FormView {
  explicit FakeForm(std::string n) : name(std::move(n)) { controls.reserve(16); }
  std::string Name() const override { return name; }
  std::vector<FormControlView*> Controls() const override {
    std::vector<FormControlView*> out;
    for (auto& c : controls) out.push_back(const_cast<FakeControl*>(&c));
    return out;
  }
  FakeControl& Add(std::string n, ControlKind k, std::string t = "") {
    return controls.emplace_back(n, k, t);
  }
  std::string name;
  std::vector<FakeControl> controls;  // reserved so that references to controls stay valid
};

class History : public TempProgramDir {
 protected:
  // Sends the form with txtName1 holding `text`.
  void Send(const std::string& text) {
    name1_.text = text;
    history_.UpdateValues(form_);
  }
  std::vector<std::string> Stored(const std::string& section) {
    std::vector<std::string> values;
    for (int i = 0; i < kHistoryDepth; ++i)
      values.push_back(
          GetIniValue(files_, section, "Value_" + std::to_string(i), "<missing>", kHistoryFileName));
    return values;
  }
  ValueHistory history_{files_};
  FakeForm form_{"frmC_ORDER_M"};
  FakeControl& name1_ = form_.Add("txtName1", ControlKind::text_box);
};

TEST_F(History, UpdateValuesReportsAFileItCannotWrite) {
  name1_.text = "A";
  EXPECT_TRUE(history_.UpdateValues(form_));
  name1_.text = "A";
  EXPECT_TRUE(history_.UpdateValues(form_));  // nothing to write is no failure
  std::filesystem::remove(files_.HistoryFile());
  std::filesystem::create_directory(files_.HistoryFile());  // not writable, not even by root
  name1_.text = "B";
  EXPECT_FALSE(history_.UpdateValues(form_));
}

TEST_F(History, NewestFirstDistinctAndTen) {
  for (const char* v : {"A", "B", "C", "B"}) Send(v);
  EXPECT_EQ(Stored("C_ORDER_M_Name1"), (std::vector<std::string>{"B", "C", "A", "", "", "", "", "", "", ""}));

  const std::string before = Slurp(files_.HistoryFile());
  Send("B");  // the same value again changes nothing
  EXPECT_EQ(Slurp(files_.HistoryFile()), before);

  for (int i = 1; i <= 11; ++i) Send("v" + std::to_string(i));
  EXPECT_EQ(Stored("C_ORDER_M_Name1"),
            (std::vector<std::string>{"v11", "v10", "v9", "v8", "v7", "v6", "v5", "v4", "v3", "v2"}));
  Send("v5");  // an older value moves to the front; the ones behind it keep their places
  EXPECT_EQ(Stored("C_ORDER_M_Name1"),
            (std::vector<std::string>{"v5", "v11", "v10", "v9", "v8", "v7", "v6", "v4", "v3", "v2"}));
}

TEST_F(History, ValuesThatAFileLineWouldChange) {
  Send("line one\r\nKey=injected\r\n[Section]");
  Send("  padded  ");
  Send(std::string(600, 'L'));
  std::vector<std::string> stored = Stored("C_ORDER_M_Name1");
  EXPECT_EQ(stored[0], std::string(499, 'L'));
  EXPECT_EQ(stored[1], "  padded  ");
  EXPECT_EQ(stored[2], "line one");
  EXPECT_EQ(GetIniValue(files_, "C_ORDER_M_Name1", "Key", "none", kHistoryFileName), "none");
  EXPECT_EQ(GetIniValue(files_, "Section", "Value_0", "none", kHistoryFileName), "none");
  // Sent again, each compares equal to its stored form: the list does not grow duplicates.
  Send(std::string(600, 'L'));
  Send("  padded  ");
  EXPECT_EQ(Stored("C_ORDER_M_Name1")[2], "line one");
  EXPECT_EQ(Stored("C_ORDER_M_Name1")[3], "");
}

TEST_F(History, MenuOffersStoredValuesOrTheCurrentText) {
  name1_.text = "typed";
  const auto pick = [](std::optional<int> choice) { return [choice](const HistoryMenu&) { return choice; }; };
  // Nothing stored: one visible item with the current text; choosing it changes nothing.
  HistoryMenu menu = history_.MenuFor("C_ORDER_M_Name1", "typed");
  EXPECT_TRUE(menu[0].visible);
  EXPECT_EQ(menu[0].text, "typed");
  for (int i = 1; i < kHistoryDepth; ++i) EXPECT_FALSE(menu[i].visible) << i;
  EXPECT_EQ(history_.SelectValue("frmC_ORDER_M", name1_, pick(0)), "typed");
  EXPECT_EQ(name1_.text, "typed");

  for (const char* v : {"one", "two"}) Send(v);
  name1_.text = "typed";
  menu = history_.MenuFor("C_ORDER_M_Name1", "typed");
  EXPECT_EQ(menu[0].text, "two");
  EXPECT_EQ(menu[1].text, "one");
  EXPECT_FALSE(menu[2].visible);
  history_.SelectValue("frmC_ORDER_M", name1_, pick(std::nullopt));  // closed without a choice
  EXPECT_EQ(name1_.text, "typed");
  history_.SelectValue("frmC_ORDER_M", name1_, pick(1));
  EXPECT_EQ(name1_.text, "one");
  history_.SelectValue("frmC_ORDER_M", name1_, pick(5));  // a hidden item cannot be chosen
  EXPECT_EQ(name1_.text, "one");
}

TEST_F(History, LastValuesPerFormAndKind) {
  FakeControl& machine = form_.Add("cboMachine", ControlKind::drop_down_list, "M1");
  FakeControl& order = form_.Add("txtOrderNum", ControlKind::text_box, "0");
  FakeControl& sfkt = form_.Add("cboSFkt", ControlKind::drop_down_list, "2: Load NC program");
  FakeControl& ok = form_.Add("cmdOK", ControlKind::other, "OK");
  FakeControl& name2 = form_.Add("txtName2", ControlKind::text_box, "default");

  machine.text = "M2";
  order.text = "17";
  sfkt.text = "5: Select NC program";
  name1_.text = "prog";
  name2.text = "";  // an empty text is a value like any other
  history_.UpdateValues(form_);
  EXPECT_EQ(GetIniValue(files_, "C_ORDER_M_Machine", "Combo_Value", "", kHistoryFileName), "M2");
  EXPECT_EQ(GetIniValue(files_, "C_ORDER_M_OK", "Combo_Value", "none", kHistoryFileName), "none");

  FakeForm fresh("frmC_ORDER_M");
  FakeControl& m = fresh.Add("cboMachine", ControlKind::drop_down_list, "M1");
  FakeControl& o = fresh.Add("txtOrderNum", ControlKind::text_box, "");
  FakeControl& s = fresh.Add("cboSFkt", ControlKind::drop_down_list, "2: Load NC program");
  FakeControl& n1 = fresh.Add("txtName1", ControlKind::text_box, "");
  FakeControl& n2 = fresh.Add("txtName2", ControlKind::text_box, "default");
  history_.GetLastValues(fresh);
  EXPECT_EQ(m.text, "M1");  // the machine list is not restored
  EXPECT_EQ(o.text, "17");
  EXPECT_EQ(s.text, "5: Select NC program");
  EXPECT_EQ(n1.text, "prog");
  EXPECT_EQ(n2.text, "default");  // stored empty: no entry, the default stays
  EXPECT_EQ(ok.text, "OK");

  // Another form with the same control names has its own history; OrderNum falls back to "0".
  FakeForm other("frmC_DELETE_M");
  FakeControl& other_order = other.Add("txtOrderNum", ControlKind::text_box, "");
  FakeControl& other_name = other.Add("txtName1", ControlKind::text_box, "keep");
  history_.GetLastValues(other);
  EXPECT_EQ(other_order.text, "0");
  EXPECT_EQ(other_name.text, "keep");
}

}  // namespace
}  // namespace tarvik::testprogram
