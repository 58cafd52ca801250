// The configuration window while it waits for the reader or is held by an auxiliary window:
// nothing the user does meanwhile may change what a Save sends, open a second editor or close
// the window; and each fault of the reader's link on its own.
#include "form2_fixture.h"

#include "diagnostics/ui/TForm3.h"
#include "keycodes/ui/TForm5.h"
#include "keycodes/ui/TForm6.h"
#include "link/msr_operations.h"
#include "shell/ui/TForm4.h"
#include "shell/ui/file_dialog.h"

namespace {

class Form2Guards : public Form2Test {
  protected:
    // Runs `step` from the message pump while the next operation waits for the reader's
    // first answer, which comes 40 ms late.
    void DuringTheWait(std::function<void()> step) {
        vr_set_report_delay_us(40000);
        QTimer::singleShot(5, Form2, [this, step] {
            ranDuringTheWait = !Form2->isEnabled();
            step();
        });
    }
    bool ranDuringTheWait = false;

    static QWidgetList TopLevelWidgets() { return QApplication::topLevelWidgets(); }

    std::vector<std::vector<uint8_t>> SaveFrames() {
        std::vector<std::vector<uint8_t>> saves;
        for (const auto &m : Messages())
            if (!m.empty() && m[0] == 0xAA) saves.push_back(m);
        return saves;
    }
};

// --- what a Save sends -------------------------------------------------------------------

TEST_F(Form2Guards, ClicksDuringARetriedSaveChangeNeitherTheFrameNorTheRecord) {
    Choose();
    Edit(1)->setText("X");
    vr_clear_log();
    vr_fault_next(VR_FAULT_WRONG_STATUS); // the first attempt fails, so a second one is made
    DuringTheWait([this] {
        // As if the window had been enabled under the Save: the user clicks everything.
        Form2->setEnabled(true);
        Edit(1)->setText("Y");
        Button(1)->click(); // Load: would clear the record
        Button(4)->click(); // Save: would copy the controls in
        Button(5)->click(); // Set Default: would reset record and controls
        W<QAction>("Version1")->trigger();
        Button(2)->click();
        Form2->setEnabled(false);
    });
    msgbox::clearShown();
    Button(4)->click();
    EXPECT_TRUE(ranDuringTheWait);
    EXPECT_EQ(Panel(0), "SAVE");
    EXPECT_EQ(Panel(1), "SAVE SUCCESS");
    EXPECT_EQ(Texts(), std::vector<QString>{"\"SAVE \"successful"});
    const auto saves = SaveFrames();
    ASSERT_EQ(saves.size(), 2u);
    EXPECT_EQ(saves[0], saves[1]);
    EXPECT_EQ(vr_message_count(), 3); // nothing but the two writes and the read-back
    const auto block = ReaderBlock();
    EXPECT_EQ(Option(block, T1S), 'X');
    EXPECT_EQ(Option(block, Flags), kFactory[Flags]); // the options were not cleared
    EXPECT_EQ(Edit(1)->text(), "Y");                  // the controls were left to the user
    EXPECT_TRUE(Form2->isEnabled());
    EXPECT_EQ(vr_open_handles(), 0);
}

TEST_F(Form2Guards, SetDefaultSendsTheDefaultsWhateverHappensWhileItWaits) {
    SetReaderBlock(Block(kFactory, 3)); // GERMAN
    Choose();
    Check(7)->setChecked(false);
    vr_clear_log();
    vr_fault_next(VR_FAULT_WRONG_STATUS);
    DuringTheWait([this] {
        Form2->setEnabled(true);
        Combo(3)->setCurrentIndex(5);
        Form2->MsrSettings.LayerStore[3][0] = 'q'; // an editor writing into the record
        Form2->MsrSettings.LayerModes[3] = kModeAscii;
        Button(1)->click();
        Form2->setEnabled(false);
    });
    msgbox::clearShown();
    Button(5)->click();
    EXPECT_TRUE(ranDuringTheWait);
    EXPECT_EQ(Panel(1), "SAVE SUCCESS");
    const auto saves = SaveFrames();
    ASSERT_EQ(saves.size(), 2u);
    EXPECT_EQ(saves[0], saves[1]);
    EXPECT_EQ(ReaderBlock(), Block(kFactory)); // the defaults, USA, no sequences
}

// --- the window while it is disabled -----------------------------------------------------

TEST_F(Form2Guards, PickerPressesDoNothingWhileAnOperationRuns) {
    Choose();
    const int edited = Form2->MsrSettings.EditedSequence;
    bool editorShown = true;
    DuringTheWait([&] {
        MouseDown(Radio(2), Qt::LeftButton);
        MouseDown(Radio(9), Qt::RightButton);
        editorShown = Form5->isVisible() || Form6->isVisible();
    });
    Button(1)->click();
    EXPECT_TRUE(ranDuringTheWait);
    EXPECT_FALSE(editorShown);
    EXPECT_EQ(Form2->MsrSettings.EditedSequence, edited);
    EXPECT_EQ(Panel(1), "LOAD SUCCESS");
    EXPECT_TRUE(Form2->isEnabled());
}

TEST_F(Form2Guards, AnOpenEditorKeepsItsSequenceAgainstFurtherPickerPresses) {
    Choose();
    MouseDown(Radio(2), Qt::LeftButton); // Header, Code: the key code editor
    ASSERT_TRUE(Form5->isVisible());
    ASSERT_EQ(Form2->MsrSettings.EditedSequence, 100);
    MouseDown(Radio(9), Qt::LeftButton); // JIS2 suffix, ASCII: would open the text entry
    MouseDown(Radio(4), Qt::LeftButton);
    EXPECT_EQ(Form2->MsrSettings.EditedSequence, 100);
    EXPECT_FALSE(Form6->isVisible());
    // Menu items and buttons reached while the editor holds the window do nothing either.
    vr_clear_log();
    filedlg::setTestMode(true);
    filedlg::clearShown();
    msgbox::clearShown();
    for (const char *item : {"Load1", "Save1", "SetDefault1", "NomalMode1", "Version1", "About1",
                             "Exit1", "OpenFile1", "SaveFile1", "ICCARDTEST1", "EXIT2"})
        W<QAction>(item)->trigger();
    Form2->Button6Click();
    Form2->Button8Click();
    Form2->Button10Click();
    EXPECT_EQ(vr_message_count(), 0);
    EXPECT_TRUE(filedlg::shown().empty());
    EXPECT_TRUE(msgbox::shown().empty());
    EXPECT_TRUE(Form2->isVisible());
    for (QWidget *w : TopLevelWidgets())
        EXPECT_TRUE(w == Form2 || w == Form5 || !w->isVisible()) << w->objectName().toStdString();
    Form5->close();
    EXPECT_TRUE(Form2->isEnabled());
}

TEST_F(Form2Guards, CloseBoxIsIgnoredWhileAnAuxiliaryWindowHoldsTheWindow) {
    Choose();
    struct Holder {
        const char *name;
        std::function<void()> open;
        QWidget *window;
    };
    const Holder holders[] = {
        {"test page", [] { Form2->Button6Click(); }, Form3},
        {"about box", [] { Form2->About1Click(); }, Form4},
        {"key code editor", [this] { MouseDown(Radio(4), Qt::LeftButton); }, Form5},
        {"text entry", [this] { MouseDown(Radio(1), Qt::LeftButton); }, Form6},
    };
    for (const Holder &h : holders) {
        SCOPED_TRACE(h.name);
        h.open();
        ASSERT_TRUE(h.window->isVisible());
        ASSERT_FALSE(Form2->isEnabled());
        Form2->close();
        W<QAction>("EXIT2")->trigger();
        EXPECT_TRUE(Form2->isVisible());
        EXPECT_FALSE(Form1->isVisible());
        h.window->close();
        EXPECT_TRUE(Form2->isEnabled());
    }
    // Nothing was probed again, and the close box works once nothing holds the window.
    vr_clear_log();
    Form2->close();
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_EQ(vr_message_count(), 0);
}

// --- faults of the link, one at a time ---------------------------------------------------

TEST_F(Form2Guards, StaleAnswersAreNeverTakenForTheCurrentOne) {
    Choose();
    // A stale answer left queued after the version's own is thrown away before the Load.
    vr_clear_log();
    vr_fault_next(VR_FAULT_STALE_AFTER);
    msgbox::clearShown();
    W<QAction>("Version1")->trigger();
    EXPECT_EQ(Panel(1), "VERSION SUCCESS");
    Edit(1)->setText("Q");
    Button(1)->click();
    EXPECT_EQ(Panel(1), "LOAD SUCCESS");
    EXPECT_EQ(Edit(1)->text(), "%");
    EXPECT_EQ(CountMessages(0xA9), 1);

    // A stale answer that arrives first (the version's: no configuration in it) fails that
    // attempt; the next attempt gets its own answer.
    W<QAction>("Version1")->trigger();
    vr_clear_log();
    vr_fault_next(VR_FAULT_STALE);
    Edit(1)->setText("Q");
    Button(1)->click();
    EXPECT_EQ(Panel(1), "LOAD SUCCESS");
    EXPECT_EQ(Edit(1)->text(), "%");
    EXPECT_EQ(CountMessages(0xA9), 2);
}

TEST_F(Form2Guards, WrongStatusesAreRetriedThenReported) {
    Choose();
    vr_clear_log();
    for (int i = 0; i < 3; ++i)
        vr_fault_next(VR_FAULT_WRONG_STATUS);
    msgbox::clearShown();
    Button(3)->click();
    EXPECT_EQ(CountMessages(0xAE), 3);
    EXPECT_EQ(Texts(), std::vector<QString>{"Can't find the USBMSR!"});
    EXPECT_EQ(Panel(1), "TEST MODE ERROR");
    EXPECT_EQ(vr_mode(), 0); // a refused command changed nothing

    vr_fault_next(VR_FAULT_WRONG_STATUS);
    msgbox::clearShown();
    Button(3)->click();
    EXPECT_EQ(Panel(1), "TEST MODE SUCCESS");
    EXPECT_EQ(vr_mode(), 1);
}

TEST_F(Form2Guards, UnplugWhileTheAnswerIsReadEndsTheOperation) {
    Choose();
    vr_clear_log();
    vr_fault_next(VR_FAULT_UNPLUG); // the configuration's answer spans several reports
    msgbox::clearShown();
    Edit(1)->setText("Q");
    Button(1)->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"Can't find the USBMSR!"});
    EXPECT_EQ(Panel(1), "LOAD ERROR");
    EXPECT_EQ(vr_message_count(), 1); // the later attempts could not even write
    EXPECT_EQ(vr_open_handles(), 0);
    EXPECT_TRUE(Form2->isEnabled());

    // Still unplugged: the next operation finds no reader; plugged in again, it works.
    msgbox::clearShown();
    Button(4)->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"Can't find the USBMSR!"});
    vr_set_present(1);
    Button(1)->click();
    EXPECT_EQ(Panel(1), "LOAD SUCCESS");
    int opened = 0, closed = 0;
    vr_handle_counts(&opened, &closed);
    EXPECT_EQ(opened, closed);
}

TEST_F(Form2Guards, GarbageNeverLeavesTheReaderWithAnotherBlockThanTheSaveMeant) {
    Choose();
    Edit(3)->setText("+");
    for (int i = 0; i < 12; ++i) { // every kind of garbage, on first and later attempts
        vr_fault_next(VR_FAULT_GARBAGE);
        msgbox::clearShown();
        Button(4)->click();
        SCOPED_TRACE(i);
        EXPECT_TRUE(Form2->isEnabled());
        EXPECT_EQ(Option(ReaderBlock(), T2S), '+'); // the reader took it before the garbage
        // One faulty answer costs an attempt, never the Save.
        EXPECT_EQ(Panel(1), "SAVE SUCCESS");
        EXPECT_EQ(Texts(), std::vector<QString>{"\"SAVE \"successful"});
        EXPECT_EQ(vr_open_handles(), 0);
    }
    EXPECT_EQ(vr_faults_injected(VR_FAULT_GARBAGE), 12);
}

// The reader's answer to a write is a bare success: one the reader did not give for this
// write (a stale one, another command's) must not count, nor make a Load or Version succeed.
TEST_F(Form2Guards, ASuccessTheReaderDidNotGiveIsNeverTakenForIt) {
    Choose();
    const char sentinels[] = "+*!";
    for (const int fault : {VR_FAULT_STALE_SUCCESS, VR_FAULT_OTHER_ANSWER}) {
        SCOPED_TRACE(fault);
        const char mark = sentinels[fault - VR_FAULT_STALE_SUCCESS];
        Edit(3)->setText(QString(QChar(mark)));
        vr_clear_log();
        vr_fault_next(fault);
        msgbox::clearShown();
        Button(4)->click();
        EXPECT_EQ(Panel(1), "SAVE SUCCESS");
        EXPECT_EQ(Option(ReaderBlock(), T2S), mark);
        // The faulty answer was read back as the old block, so the write went again.
        EXPECT_EQ(vr_message_acted(0), 0);
        EXPECT_EQ(CountMessages(0xAA), 2);
        EXPECT_EQ(CountMessages(0xA9), 2);
    }

    // Three writes the reader never took: the Save fails and says why.
    const auto before = ReaderBlock();
    Edit(3)->setText("!");
    for (const int fault :
         {VR_FAULT_STALE_SUCCESS, VR_FAULT_OTHER_ANSWER, VR_FAULT_STALE_SUCCESS}) {
        vr_fault_next(fault);
        vr_fault_next(VR_FAULT_NONE); // the read-back: the reader's old block
    }
    msgbox::clearShown();
    Button(4)->click();
    EXPECT_EQ(Panel(1), "SAVE ERROR");
    EXPECT_EQ(Texts(), std::vector<QString>{kSaveNotKept});
    EXPECT_EQ(ReaderBlock(), before);

    // A stale success for a read: retried, and the window shows what the reader holds.
    for (const int fault : {VR_FAULT_STALE_SUCCESS, VR_FAULT_OTHER_ANSWER}) {
        SCOPED_TRACE(fault);
        Edit(3)->setText("Q");
        vr_clear_log();
        vr_fault_next(fault);
        Button(1)->click();
        EXPECT_EQ(Panel(1), "LOAD SUCCESS");
        EXPECT_EQ(Edit(3)->text(), "*");
        EXPECT_EQ(CountMessages(0xA9), 2);
    }
    vr_clear_log();
    vr_fault_next(VR_FAULT_STALE_SUCCESS);
    msgbox::clearShown();
    W<QAction>("Version1")->trigger();
    ASSERT_EQ(msgbox::shown().size(), 1u);
    EXPECT_EQ(msgbox::shown()[0].text, " KM5530 MSR V1.00");
    EXPECT_EQ(CountMessages(0xAD), 2);
}

// The slow faults: each costs the library's whole 5 s wait.
TEST_F(Form2Guards, LostAndLateAnswersAreWaitedForOrRetried) {
    Choose();
    struct Case {
        int fault;
        int messages;
    };
    for (const Case c :
         {Case{VR_FAULT_LOST, 2}, Case{VR_FAULT_LATE, 2}, Case{VR_FAULT_LATE_WITHIN, 1}}) {
        SCOPED_TRACE(c.fault);
        vr_clear_log();
        vr_fault_next(c.fault);
        msgbox::clearShown();
        Button(2)->click();
        EXPECT_EQ(Panel(1), "NORMAL MODE SUCCESS");
        EXPECT_EQ(Texts(), std::vector<QString>{"setting is Successful!"});
        EXPECT_EQ(CountMessages(0xAE), c.messages);
        EXPECT_EQ(vr_open_handles(), 0);
    }
    // The late answer left behind by the retry is not taken for the Load's.
    Button(1)->click();
    EXPECT_EQ(Panel(1), "LOAD SUCCESS");
    EXPECT_EQ(Edit(1)->text(), "%");
}

} // namespace
