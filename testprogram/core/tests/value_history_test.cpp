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
      : control_name(std::move(n)), control_kind(k), shown(std::move(t)) {}
  std::string name() const override { return control_name; }
  ControlKind kind() const override { return control_kind; }
  std::string text() const override { return shown; }
  void set_text(const std::string& t) override { shown = t; }
  std::string control_name;
  ControlKind control_kind;
  std::string shown;
};

struct FakeForm : FormView {
  explicit FakeForm(std::string n) : form_name(std::move(n)) { items.reserve(16); }
  std::string name() const override { return form_name; }
  std::vector<FormControlView*> controls() const override {
    std::vector<FormControlView*> out;
    for (auto& c : items) out.push_back(const_cast<FakeControl*>(&c));
    return out;
  }
  FakeControl& add(std::string n, ControlKind k, std::string t = "") {
    return items.emplace_back(n, k, t);
  }
  std::string form_name;
  std::vector<FakeControl> items;  // reserved so that references to controls stay valid
};

class History : public TempProgramDir {
 protected:
  // Sends the form with txtName1 holding `text`.
  void send(const std::string& text) {
    name1_.shown = text;
    history_.update_values(form_);
  }
  std::vector<std::string> stored(const std::string& section) {
    std::vector<std::string> values;
    for (int i = 0; i < kHistoryDepth; ++i)
      values.push_back(
          get_ini_value(files_, section, "Value_" + std::to_string(i), "<missing>", kHistoryFileName));
    return values;
  }
  ValueHistory history_{files_};
  FakeForm form_{"frmC_ORDER_M"};
  FakeControl& name1_ = form_.add("txtName1", ControlKind::text_box);
};

TEST_F(History, UpdateValuesReportsAFileItCannotWrite) {
  name1_.shown = "A";
  EXPECT_TRUE(history_.update_values(form_));
  name1_.shown = "A";
  EXPECT_TRUE(history_.update_values(form_));  // nothing to write is no failure
  std::filesystem::remove(files_.history_file());
  std::filesystem::create_directory(files_.history_file());  // not writable, not even by root
  name1_.shown = "B";
  EXPECT_FALSE(history_.update_values(form_));
}

TEST_F(History, NewestFirstDistinctAndTen) {
  for (const char* v : {"A", "B", "C", "B"}) send(v);
  EXPECT_EQ(stored("C_ORDER_M_Name1"), (std::vector<std::string>{"B", "C", "A", "", "", "", "", "", "", ""}));

  const std::string before = slurp(files_.history_file());
  send("B");  // the same value again changes nothing
  EXPECT_EQ(slurp(files_.history_file()), before);

  for (int i = 1; i <= 11; ++i) send("v" + std::to_string(i));
  EXPECT_EQ(stored("C_ORDER_M_Name1"),
            (std::vector<std::string>{"v11", "v10", "v9", "v8", "v7", "v6", "v5", "v4", "v3", "v2"}));
  send("v5");  // an older value moves to the front; the ones behind it keep their places
  EXPECT_EQ(stored("C_ORDER_M_Name1"),
            (std::vector<std::string>{"v5", "v11", "v10", "v9", "v8", "v7", "v6", "v4", "v3", "v2"}));
}

TEST_F(History, ValuesThatAFileLineWouldChange) {
  send("line one\r\nKey=injected\r\n[Section]");
  send("  padded  ");
  send(std::string(600, 'L'));
  std::vector<std::string> values = stored("C_ORDER_M_Name1");
  EXPECT_EQ(values[0], std::string(499, 'L'));
  EXPECT_EQ(values[1], "  padded  ");
  EXPECT_EQ(values[2], "line one");
  EXPECT_EQ(get_ini_value(files_, "C_ORDER_M_Name1", "Key", "none", kHistoryFileName), "none");
  EXPECT_EQ(get_ini_value(files_, "Section", "Value_0", "none", kHistoryFileName), "none");
  // Sent again, each compares equal to its stored form: the list does not grow duplicates.
  send(std::string(600, 'L'));
  send("  padded  ");
  EXPECT_EQ(stored("C_ORDER_M_Name1")[2], "line one");
  EXPECT_EQ(stored("C_ORDER_M_Name1")[3], "");
}

TEST_F(History, MenuOffersStoredValuesOrTheCurrentText) {
  name1_.shown = "typed";
  const auto pick = [](std::optional<int> choice) { return [choice](const HistoryMenu&) { return choice; }; };
  // Nothing stored: one visible item with the current text; choosing it changes nothing.
  HistoryMenu menu = history_.menu_for("C_ORDER_M_Name1", "typed");
  EXPECT_TRUE(menu[0].visible);
  EXPECT_EQ(menu[0].text, "typed");
  for (int i = 1; i < kHistoryDepth; ++i) EXPECT_FALSE(menu[i].visible) << i;
  EXPECT_EQ(history_.select_value("frmC_ORDER_M", name1_, pick(0)), "typed");
  EXPECT_EQ(name1_.shown, "typed");

  for (const char* v : {"one", "two"}) send(v);
  name1_.shown = "typed";
  menu = history_.menu_for("C_ORDER_M_Name1", "typed");
  EXPECT_EQ(menu[0].text, "two");
  EXPECT_EQ(menu[1].text, "one");
  EXPECT_FALSE(menu[2].visible);
  history_.select_value("frmC_ORDER_M", name1_, pick(std::nullopt));  // closed without a choice
  EXPECT_EQ(name1_.shown, "typed");
  history_.select_value("frmC_ORDER_M", name1_, pick(1));
  EXPECT_EQ(name1_.shown, "one");
  history_.select_value("frmC_ORDER_M", name1_, pick(5));  // a hidden item cannot be chosen
  EXPECT_EQ(name1_.shown, "one");
}

TEST_F(History, LastValuesPerFormAndKind) {
  FakeControl& machine = form_.add("cboMachine", ControlKind::drop_down_list, "M1");
  FakeControl& order = form_.add("txtOrderNum", ControlKind::text_box, "0");
  FakeControl& sfkt = form_.add("cboSFkt", ControlKind::drop_down_list, "2: Load NC program");
  FakeControl& ok = form_.add("cmdOK", ControlKind::other, "OK");
  FakeControl& name2 = form_.add("txtName2", ControlKind::text_box, "default");

  machine.shown = "M2";
  order.shown = "17";
  sfkt.shown = "5: Select NC program";
  name1_.shown = "prog";
  name2.shown = "";  // an empty text is a value like any other
  history_.update_values(form_);
  EXPECT_EQ(get_ini_value(files_, "C_ORDER_M_Machine", "Combo_Value", "", kHistoryFileName), "M2");
  EXPECT_EQ(get_ini_value(files_, "C_ORDER_M_OK", "Combo_Value", "none", kHistoryFileName), "none");

  FakeForm fresh("frmC_ORDER_M");
  FakeControl& m = fresh.add("cboMachine", ControlKind::drop_down_list, "M1");
  FakeControl& o = fresh.add("txtOrderNum", ControlKind::text_box, "");
  FakeControl& s = fresh.add("cboSFkt", ControlKind::drop_down_list, "2: Load NC program");
  FakeControl& n1 = fresh.add("txtName1", ControlKind::text_box, "");
  FakeControl& n2 = fresh.add("txtName2", ControlKind::text_box, "default");
  history_.get_last_values(fresh);
  EXPECT_EQ(m.shown, "M1");  // the machine list is not restored
  EXPECT_EQ(o.shown, "17");
  EXPECT_EQ(s.shown, "5: Select NC program");
  EXPECT_EQ(n1.shown, "prog");
  EXPECT_EQ(n2.shown, "default");  // stored empty: no entry, the default stays
  EXPECT_EQ(ok.shown, "OK");

  // Another form with the same control names has its own history; OrderNum falls back to "0".
  FakeForm other("frmC_DELETE_M");
  FakeControl& other_order = other.add("txtOrderNum", ControlKind::text_box, "");
  FakeControl& other_name = other.add("txtName1", ControlKind::text_box, "keep");
  history_.get_last_values(other);
  EXPECT_EQ(other_order.shown, "0");
  EXPECT_EQ(other_name.shown, "keep");
}

}  // namespace
}  // namespace tarvik::testprogram
