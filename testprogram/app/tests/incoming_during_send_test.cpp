// A telegram from a machine that arrives while the window's thread is busy: the real control answers
// the machine at once on its own threads and queues the telegram; a send to a slow machine made
// meanwhile does not raise it in the middle of the call; right after the send the window shows and
// logs it, behind the send's own record, and nothing is lost.
#include <QElapsedTimer>
#include <QLabel>

#include "testprogram/app/incoming_form.h"
#include "testprogram/app/tests/peer_machine_fixture.h"

namespace tarvik::testprogram {
namespace {

constexpr int kMachineDelayMs = 1500;  // how long the machine takes to answer each call

class IncomingDuringSendTest : public PeerMachineTest {
 protected:
  QStringList peer_options() override { return {"--delay-ms", QString::number(kMachineDelayMs)}; }
};

TEST_F(IncomingDuringSendTest, IsAnsweredAtOnceAndShownRightAfterTheSend) {
  start_real("HOSTQ", 5);
  ASSERT_NE(host_port_, 0);
  ASSERT_TRUE(prompts_.shown.empty()) << prompts_.shown[0].text.toStdString();

  // The machine reports while this thread is busy (blocked here, as it is during a send): the
  // control answers on its own threads and queues the telegram for the window.
  EXPECT_EQ(call_host({"R_MESSAGE_H", "pszHost=HOSTQ", "pszMachine=m1", "OrderNum=77", "pszMessage=queued"},
                      /*pump=*/false),
            0);

  // A send to the slow machine: the queued telegram is not raised inside it.
  QElapsedTimer sending;
  sending.start();
  send("T_TPS_M");
  EXPECT_GE(sending.elapsed(), kMachineDelayMs - 100);
  EXPECT_EQ(window_->status_text(), QStringLiteral("T_TPS_M    Ret = 0"));
  EXPECT_EQ(window_->open_incoming_form("R_MESSAGE_H"), nullptr);

  // Right after, the event loop raises it: its form opens and its record follows the send's.
  ASSERT_TRUE(wait_for([&] { return window_->open_incoming_form("R_MESSAGE_H") != nullptr; }));
  IncomingForm* form = window_->open_incoming_form("R_MESSAGE_H");
  EXPECT_EQ(form->value_label("lblOrderNum")->text(), QStringLiteral("77"));
  const std::string log = log_text();
  const auto sent_at = log.find("T_TPS_M");
  const auto received_at = log.find("R_MESSAGE_H");
  ASSERT_NE(sent_at, std::string::npos) << log;
  ASSERT_NE(received_at, std::string::npos) << log;
  EXPECT_LT(sent_at, received_at) << log;
}

}  // namespace
}  // namespace tarvik::testprogram
