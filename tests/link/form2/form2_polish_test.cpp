// The configuration window as a user meets it: the probe after the window is on screen,
// the busy cursor while the reader is talked to, sentinel fields that take only what the
// reader can store, and the keyboard on Extract From and Length.
#include "busy_cursor_log.h"
#include "form2_fixture.h"

#include <QCursor>
#include <QGuiApplication>
#include <QTest>

namespace {

class Form2Polish : public Form2Test {
  protected:
    void TearDown() override {
        msgbox::setWhileShown({});
        Form2Test::TearDown();
        EXPECT_EQ(OverrideCursor(), kNoCursor);
    }
};

// --- the probe after the showing -------------------------------------------------------

TEST_F(Form2Polish, ProbeRunsOnceTheWindowIsShownAndTheChooserGone) {
    vr_set_present(0);
    struct Seen {
        bool form2Visible, chooserVisible;
    };
    std::vector<Seen> seen;
    msgbox::setWhileShown([&](const msgbox::Shown &) {
        seen.push_back({Form2->isVisible(), Form1->isVisible()});
    });
    Form1->RadioButton1->setChecked(true);
    Form1->BitBtn1Click();
    // Shown, bound, and the probe still to come.
    EXPECT_TRUE(Form2->isVisible());
    EXPECT_FALSE(Form1->isVisible());
    EXPECT_TRUE(Form2->ReaderLink.HidBound);
    EXPECT_TRUE(Form2->ProbeQueued());
    EXPECT_TRUE(msgbox::shown().empty());
    EXPECT_EQ(Panel(0), "");
    WaitForProbe();
    EXPECT_FALSE(Form2->ProbeQueued());
    EXPECT_EQ(Texts(), std::vector<QString>{"Can't find MSR Device!"});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].form2Visible);
    EXPECT_FALSE(seen[0].chooserVisible);
    EXPECT_EQ(Panel(1), "MSR_INIT ERROR");
}

TEST_F(Form2Polish, NoProbeForAWindowHiddenBeforeItsTurnAndOneForTwoShowings) {
    Form1->RadioButton1->setChecked(true);
    Form1->BitBtn1Click();
    ASSERT_TRUE(Form2->ProbeQueued());
    Form2->close();
    ASSERT_FALSE(Form2->isVisible());
    WaitForProbe();
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    EXPECT_FALSE(Form2->ProbeQueued());
    EXPECT_EQ(CountMessages(0xA9), 0);
    EXPECT_EQ(vr_open_handles(), 0);
    EXPECT_EQ(Panel(0), "");
    EXPECT_TRUE(msgbox::shown().empty());

    // Shown, hidden and shown again before the queue gets there: one probe, for the
    // showing that stayed.
    Form1->BitBtn1Click();
    Form2->hide();
    Form2->show();
    WaitForProbe();
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(CountMessages(0xA9), 1);
    EXPECT_EQ(Panel(1), "MSR_INIT SUCCESS");
    EXPECT_EQ(Edit(1)->text(), "%");
}

// --- the busy cursor ---------------------------------------------------------------------

TEST_F(Form2Polish, BusyCursorForEveryOperationOnEveryPath) {
    Choose();
    const struct {
        const char *name;
        std::function<void()> reader;
    } readers[] = {
        {"answering", [] {}},
        {"silent",
         [] {
             vr_set_silent(1);
             vr_set_fail_when_empty(1);
         }},
        {"unplugged", [] { vr_set_present(0); }},
        {"answering slowly", [] { vr_set_report_delay_us(3000); }},
    };
    const struct {
        const char *name;
        std::function<void()> run;
    } operations[] = {
        {"Load", [] { Form2->Button[1]->click(); }},
        {"Normal Mode", [] { Form2->Button[2]->click(); }},
        {"Test Mode", [] { Form2->Button[3]->click(); }},
        {"Save", [] { Form2->Button[4]->click(); }},
        {"Set Default", [] { Form2->Button[5]->click(); }},
        {"Version", [] { Form2->Version1->trigger(); }},
        {"probe", [this] { Reopen(); }},
    };
    for (const auto &reader : readers)
        for (const auto &op : operations) {
            const std::string what = std::string(op.name) + ", reader " + reader.name;
            vr_reset();
            reader.reader();
            msgbox::clearShown();
            std::vector<int> boxCursors;
            msgbox::setWhileShown(
                [&](const msgbox::Shown &) { boxCursors.push_back(OverrideCursor()); });
            auto log = std::make_unique<CursorLog>(Form2);
            op.run();
            log->ExpectBusyWhileDisabled(what);
            // The boxes come once the window takes input again: no busy cursor over them.
            for (int shape : boxCursors)
                EXPECT_EQ(shape, kNoCursor) << what;
            if (std::string(reader.name) == "answering slowly") {
                EXPECT_FALSE(log->Waiting.empty()) << what;
            }
            log.reset();
            msgbox::setWhileShown({});
        }
}

TEST_F(Form2Polish, NoBusyCursorWhenNothingIsSent) {
    Choose();
    CursorLog log(Form2);
    Form2->ReaderLink.HidBound = 0; // the library's message, no transaction
    Form2->Button[1]->click();
    Form2->Button[2]->click();
    EXPECT_TRUE(log.Changes.empty());
    EXPECT_EQ(OverrideCursor(), kNoCursor);
    Form2->ReaderLink.HidBound = 1;
    EXPECT_EQ(Texts(),
              (std::vector<QString>{"The LORVANE.dll Open Error!", "The LORVANE.dll Open Error!"}));
}

// --- sentinel fields -----------------------------------------------------------------------

// A character typed on a keyboard that has it.
void Type(QWidget *w, const QString &text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
}

TEST_F(Form2Polish, SentinelFieldsTakeOnlyWhatFitsInAByte) {
    Choose();
    for (int e : {1, 2, 3, 4, 5, 6, 8, 9, 10, 11}) {
        QLineEdit *edit = Edit(e);
        ASSERT_NE(edit->validator(), nullptr) << e;
        edit->clear();
        Type(edit, QString::fromUtf8("€"));
        EXPECT_EQ(edit->text(), "") << e;
        edit->insert(QString::fromUtf8("中")); // pasted
        EXPECT_EQ(edit->text(), "") << e;
        Type(edit, QString::fromUtf8("é"));
        EXPECT_EQ(edit->text(), QString::fromUtf8("é")) << e;
        edit->clear();
        Type(edit, QStringLiteral("~"));
        EXPECT_EQ(edit->text(), "~") << e;
    }
    // What is typed is what the reader stores.
    Edit(1)->clear();
    Type(Edit(1), QString::fromUtf8("é"));
    Edit(2)->clear();
    Type(Edit(2), QString::fromUtf8("€"));
    Button(4)->click();
    ASSERT_EQ(Panel(1), "SAVE SUCCESS");
    const auto block = ReaderBlock();
    EXPECT_EQ(Option(block, T1S), 0xE9);
    EXPECT_EQ(Option(block, T1E), 0x01); // refused, so empty
}

// --- Extract From and Length from the keyboard -------------------------------------------

TEST_F(Form2Polish, ArrowAndPageKeysStepExtractFromAndLength) {
    Choose();
    auto *upDown1 = W<TUpDown>("UpDown1");
    auto *upDown4 = W<TUpDown>("UpDown4");
    EXPECT_EQ(upDown1->focusPolicy(), Qt::StrongFocus);
    Select(4, 4); // "4-Other": the pair can be changed
    ASSERT_TRUE(Edit(12)->isEnabled());
    ASSERT_EQ(Edit(12)->text(), "1");
    QTest::keyClick(Edit(12), Qt::Key_Up);
    EXPECT_EQ(Edit(12)->text(), "2");
    QTest::keyClick(Edit(12), Qt::Key_Down);
    QTest::keyClick(Edit(12), Qt::Key_Down);
    EXPECT_EQ(Edit(12)->text(), "16"); // wraps
    QTest::keyClick(Edit(12), Qt::Key_PageUp);
    EXPECT_EQ(Edit(12)->text(), "4");
    QTest::keyClick(upDown1, Qt::Key_PageDown);
    EXPECT_EQ(Edit(12)->text(), "16");
    QTest::keyClick(upDown1, Qt::Key_Up);
    EXPECT_EQ(Edit(12)->text(), "1");
    // Keys the pair does not take go on as before; modified arrows are not steps.
    QTest::keyClick(Edit(12), Qt::Key_Up, Qt::ShiftModifier);
    QTest::keyClick(Edit(12), Qt::Key_5);
    EXPECT_EQ(Edit(12)->text(), "1");
    // Length of the attach order, and the removal pair likewise.
    QTest::keyClick(Edit(13), Qt::Key_Down);
    EXPECT_EQ(Edit(13)->text(), "15");
    Select(5, 4);
    QTest::keyClick(upDown4, Qt::Key_PageDown);
    EXPECT_EQ(Edit(15)->text(), "12");
    Button(4)->click();
    ASSERT_EQ(Panel(1), "SAVE SUCCESS");
    const auto block = ReaderBlock();
    EXPECT_EQ(Option(block, AttSel), 0x40);
    EXPECT_EQ(Option(block, AttLen) & 0x0F, 14);
    EXPECT_EQ(Option(block, RemLen) & 0x0F, 11);

    // Another order: the pair shows its proposal and no key changes it.
    Select(4, 1);
    ASSERT_FALSE(upDown1->isEnabled());
    const QString from = Edit(12)->text();
    EXPECT_TRUE(upDown1->Key(Qt::Key_Up));
    EXPECT_EQ(Edit(12)->text(), from);
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(Edit(12), &up);
    EXPECT_EQ(Edit(12)->text(), from);
    // Nor while an operation holds the window.
    Select(4, 4);
    Form2->setEnabled(false);
    QApplication::sendEvent(Edit(12), &up);
    EXPECT_EQ(Edit(12)->text(), "1");
    Form2->setEnabled(true);
}

} // namespace
