// The dial dialog drawn for a run that must dial first: the dial-up
// library's progress reaches its lower line, and Cancel hangs up.
#include <gtest/gtest.h>
#include <dlfcn.h>
#include <stdlib.h>

#include <QLabel>

#include "dialup/double/ras_double.h"
#include "engine/dialup/dialogs/dial_dialog.h"
#include "engine/settings/dialogs/dialog_ids.h"
#include "harvion/ras.h"
#include "support/dialog_driver.h"

namespace {

using dlgtest::Control;

class DialDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    m_double = ::dlopen(HV_RAS_DOUBLE, RTLD_NOW);
    ASSERT_NE(m_double, nullptr) << ::dlerror();
    Do = reinterpret_cast<RasDoubleDoFn>(::dlsym(m_double, "RasDoubleDo"));
    Count = reinterpret_cast<RasDoubleCountFn>(::dlsym(m_double, "RasDoubleCount"));
    ASSERT_TRUE(Do && Count);
    ::setenv("HARVION_RAS_LIBRARY", HV_RAS_DOUBLE, 1);
    m_before = SetRasDialDialogRunner(&hvdlg::CDialDialog::Run);
  }
  void TearDown() override {
    { CRas unloads; }
    SetRasDialDialogRunner(m_before);
    ::unsetenv("HARVION_RAS_LIBRARY");
    if (Do) Do("reset");
    if (m_double) ::dlclose(m_double);
  }
  void* m_double = nullptr;
  RasDoubleDoFn Do = nullptr;
  RasDoubleCountFn Count = nullptr;
  RasDialDialogRunner m_before;
};

QString Line(QWidget* dialog, int id) { return Control<QLabel>(dialog, id)->text(); }

TEST_F(DialDialog, shows_the_progress_and_cancel_hangs_up_while_a_dial_that_connects_closes_by_itself) {
  const struct {
    const char* script;
    bool cancel;
    bool connected;
  } cases[] = {{"0,1,wait", true, false}, {"0,1,14,8192", false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    Do("reset");
    Do((std::string("entry Office ") + c.script).c_str());
    CRas ras;
    ras.Init();
    int dialled = -1;
    QString upper, lower;
    const bool seen = dlgtest::WithNextModal([&] { dialled = ras.Dial("Office"); }, [&](QDialog* dialog) {
      upper = Line(dialog, hvdlg::kIdDialUpper);
      if (!c.cancel) return;
      QElapsedTimer clock;
      clock.start();
      while (Line(dialog, hvdlg::kIdDialLower) != "Port Opened" && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      lower = Line(dialog, hvdlg::kIdDialLower);
      Control<QPushButton>(dialog, hvdlg::kIdCancel)->click();
    });
    EXPECT_EQ(dialled, c.connected);
    EXPECT_EQ(Count("up"), c.connected ? 1u : 0u);
    if (c.cancel) {
      EXPECT_TRUE(seen);
      EXPECT_EQ(upper, "Connecting to Office");
      EXPECT_EQ(lower, "Port Opened");
    }
    ras.Hangup();
    EXPECT_EQ(Count("up"), 0u);
  }
}

}  // namespace
