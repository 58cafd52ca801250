// The configuration window end to end: chosen from the chooser, probing and configuring the
// virtual reader through the HID library, message boxes answered through the seam.
#include "form2_fixture.h"

namespace {

// --- showing ---------------------------------------------------------------------------

TEST_F(Form2Test, FirstShowingWithoutReaderThenSecondShowingProbesWithoutBinding) {
    vr_set_present(0);
    Choose();
    EXPECT_EQ(Panel(0), "MSR_INIT");
    EXPECT_EQ(Panel(1), "MSR_INIT ERROR");
    ASSERT_EQ(msgbox::shown().size(), 1u);
    EXPECT_FALSE(msgbox::shown()[0].isQuestion);
    EXPECT_EQ(msgbox::shown()[0].text, "Can't find MSR Device!");
    EXPECT_TRUE(Form2->isEnabled());
    EXPECT_TRUE(Form2->ReaderLink.HidBound);
    EXPECT_TRUE(Form2->ReaderLink.SerialBound);
    EXPECT_EQ(Form2->ReaderLink.ConnectionKind, 0);
    EXPECT_EQ(Form2->CardOnUsb, 1); // the chooser's choice, copied
    // The cleared record: tracks enabled, no sentinels, no Enter, no beep.
    EXPECT_TRUE(RecordCleared());
    for (int t = 1; t <= 3; ++t) {
        EXPECT_TRUE(Check(t)->isChecked());
        EXPECT_FALSE(Check(t + 3)->isChecked());
    }
    for (int e : {1, 2, 3, 4, 5, 6, 8, 9, 10, 11})
        EXPECT_EQ(Edit(e)->text(), "") << e;
    EXPECT_FALSE(Check(7)->isChecked());
    EXPECT_FALSE(Check(10)->isChecked());
    EXPECT_EQ(Combo(3)->currentText(), "USA");
    EXPECT_EQ(Combo(4)->currentText(), "0-All");

    // EXIT: back to the chooser, which now skips binding.
    W<QPushButton>("BitBtn1")->click();
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_EQ(Form1->PortChoice.FirstShowMsr, 0);

    // A library that cannot be loaded would be asked about if binding ran again.
    Form2->HidLibraryFile = "libno-such-library.so";
    msgbox::clearShown();
    Dirty();
    Choose();
    for (const auto &s : msgbox::shown())
        EXPECT_FALSE(s.isQuestion);
    EXPECT_EQ(Panel(1), "MSR_INIT ERROR");
    EXPECT_TRUE(RecordCleared()); // the probe clears the record before it starts

    vr_set_present(1);
    Reopen();
    EXPECT_EQ(Panel(1), "MSR_INIT SUCCESS");
    EXPECT_EQ(Edit(1)->text(), "%");

    // A silent reader: no message, and the window emptied again.
    Silence();
    msgbox::clearShown();
    Reopen();
    EXPECT_TRUE(msgbox::shown().empty());
    EXPECT_EQ(Panel(1), "MSR_INIT ERROR");
    EXPECT_EQ(Edit(1)->text(), "");
}

TEST_F(Form2Test, FreshReaderFillsTheWindowWithoutMessage) {
    Choose();
    EXPECT_EQ(Panel(0), "MSR_INIT");
    EXPECT_EQ(Panel(1), "MSR_INIT SUCCESS");
    EXPECT_TRUE(msgbox::shown().empty());
    EXPECT_EQ(CountMessages(0xA9), 1);
    // The factory configuration: Enter after every track, iButton beep on.
    for (int t = 1; t <= 3; ++t) {
        EXPECT_TRUE(Check(t)->isChecked());
        EXPECT_TRUE(Check(t + 3)->isChecked());
    }
    EXPECT_EQ(Edit(1)->text(), "%");
    EXPECT_EQ(Edit(3)->text(), ";");
    EXPECT_EQ(Edit(8)->text(), "*");
    EXPECT_EQ(Edit(10)->text(), "!");
    EXPECT_TRUE(Check(10)->isChecked());
    EXPECT_TRUE(Check(11)->isChecked());
    EXPECT_EQ(Combo(3)->currentText(), "USA");
    EXPECT_EQ(Combo(4)->currentText(), "0-All");
    EXPECT_EQ(Edit(13)->text(), "16");
    EXPECT_FALSE(Edit(12)->isEnabled());
}

TEST_F(Form2Test, MissingLibraryAsksOnceAndStopsTheShowing) {
    Form2->SerialLibraryFile = "libno-such-serial.so";
    msgbox::setNextAnswer(false);
    Choose();
    ASSERT_EQ(msgbox::shown().size(), 1u);
    EXPECT_TRUE(msgbox::shown()[0].isQuestion);
    EXPECT_EQ(msgbox::shown()[0].caption, "The COM.dll Is Not Open!");
    EXPECT_EQ(msgbox::shown()[0].text, "Are you sure to close the application program?");
    EXPECT_FALSE(ProgramEndRequested());
    EXPECT_EQ(CountMessages(0xA9), 0); // no probe
    EXPECT_TRUE(Form2->isVisible());
    // USB HID still works.
    msgbox::clearShown();
    Button(1)->click();
    EXPECT_EQ(Panel(1), "LOAD SUCCESS");
}

TEST_F(Form2Test, FailedBindingIsNotRetriedAndTheProbeReportsTheUnboundLibrary) {
    Form2->HidLibraryFile = "libno-such-library.so";
    msgbox::setNextAnswer(true); // Yes: the program ends
    Choose();
    ASSERT_EQ(msgbox::shown().size(), 1u);
    EXPECT_EQ(msgbox::shown()[0].caption, "The LORVANE.dll Is Not Open!");
    EXPECT_TRUE(ProgramEndRequested());
    EXPECT_FALSE(Form2->ReaderLink.HidBound);
    EXPECT_FALSE(Form2->ReaderLink.SerialModule); // the serial library is not even loaded
    ResetProgramEnd();

    Form2->HidLibraryFile = "liblorvane.so";
    Form2->SetPanelText(0, "p0");
    Form2->SetPanelText(1, "p1");
    msgbox::clearShown();
    Reopen();
    EXPECT_EQ(Texts(), std::vector<QString>{"The LORVANE.dll Open Error!"});
    EXPECT_EQ(Panel(0), "p0");
    EXPECT_EQ(Panel(1), "p1");
    EXPECT_EQ(vr_message_count(), 0);
}

TEST_F(Form2Test, SerialTransportNotBoundNamesTheSerialLibrary) {
    Choose();
    Form2->ReaderLink.ConnectionKind = 1;
    Form2->ReaderLink.SerialBound = 0;
    vr_clear_log();
    msgbox::clearShown();
    Button(1)->click();
    W<QAction>("Version1")->trigger();
    EXPECT_EQ(Texts(),
              (std::vector<QString>{"The COM.dll Open Error!", "The COM.dll Open Error!"}));
    EXPECT_EQ(Panel(1), "VERSION ERROR");
    EXPECT_EQ(vr_message_count(), 0);
}

// --- Load ------------------------------------------------------------------------------

TEST_F(Form2Test, LoadStatusAStopsAtOnceAndLeavesTheRecordCleared) {
    Choose();
    vr_clear_log();
    vr_set_command_status(0xA9, 0x41);
    Dirty();
    msgbox::clearShown();
    W<QAction>("Load1")->trigger();
    EXPECT_EQ(Panel(0), "LOAD");
    EXPECT_EQ(Panel(1), "LOAD ERROR");
    EXPECT_EQ(Texts(), std::vector<QString>{"Keycode is default setting!"});
    EXPECT_EQ(CountMessages(0xA9), 1);
    EXPECT_TRUE(RecordCleared());
    EXPECT_TRUE(Form2->isEnabled());
    // The controls stay as they were.
    EXPECT_TRUE(Check(4)->isChecked());
}

TEST_F(Form2Test, LoadStatusCAndBlankReaderGiveAnEmptyConfiguration) {
    Choose();
    Check(2)->click();
    Edit(1)->setText("Q");
    vr_set_command_status(0xA9, 0x43);
    msgbox::clearShown();
    Button(1)->click();
    EXPECT_EQ(Panel(1), "LOAD SUCCESS");
    EXPECT_EQ(Texts(), std::vector<QString>{"\"LOAD \"successful"});
    for (int t = 1; t <= 3; ++t) {
        EXPECT_TRUE(Check(t)->isChecked());
        EXPECT_FALSE(Check(t + 3)->isChecked());
    }
    EXPECT_TRUE(Edit(3)->isEnabled());
    for (int e : {1, 2, 3, 4, 5, 6, 8, 9, 10, 11})
        EXPECT_EQ(Edit(e)->text(), "") << e;
    for (int r = 1; r <= 18; ++r)
        EXPECT_FALSE(Radio(r)->isChecked()) << r;

    // A reply whose second byte is 0xFF: the reader holds nothing.
    vr_set_command_status(0xA9, -1);
    const uint8_t blank[] = {0x00, 0xFF};
    vr_set_config_block(blank, 2);
    Edit(1)->setText("Q");
    msgbox::clearShown();
    Button(1)->click();
    EXPECT_EQ(Panel(1), "LOAD SUCCESS");
    EXPECT_EQ(Edit(1)->text(), "");
}

TEST_F(Form2Test, SilentOrAbsentReaderFailsTheLoad) {
    Choose();
    vr_clear_log();
    Silence();
    msgbox::clearShown();
    Button(1)->click();
    EXPECT_EQ(CountMessages(0xA9), 3);
    EXPECT_EQ(Texts(), std::vector<QString>{"Can't find the USBMSR!"});
    EXPECT_EQ(Panel(1), "LOAD ERROR");
    EXPECT_TRUE(Form2->isEnabled());
    EXPECT_EQ(vr_open_handles(), 0);

    vr_set_silent(0);
    vr_set_present(0);
    msgbox::clearShown();
    Button(1)->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"Can't find the USBMSR!"});
    EXPECT_EQ(Panel(1), "LOAD ERROR");
}

TEST_F(Form2Test, UnboundTransportStopsEveryOperationAtItsFirstCheck) {
    Choose();
    Form2->ReaderLink.HidBound = 0;
    vr_clear_log();
    Form2->SetPanelText(1, "before");
    msgbox::clearShown();
    Button(1)->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"The LORVANE.dll Open Error!"});
    EXPECT_EQ(Panel(1), "before"); // Load sets no panel text
    msgbox::clearShown();
    Button(4)->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"The LORVANE.dll Open Error!"});
    EXPECT_EQ(Panel(1), "SAVE ERROR");
    msgbox::clearShown();
    Button(2)->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"The LORVANE.dll Open Error!"});
    EXPECT_EQ(Panel(1), "NORMAL MODE ERROR");
    EXPECT_EQ(vr_message_count(), 0);
}

TEST_F(Form2Test, WindowStaysOpenAndDisabledWhileTheReaderIsSlow) {
    Choose();
    vr_set_report_delay_us(30000);
    bool disabledMeanwhile = false, visibleAfterClose = false;
    // Runs from the message pump while the library waits for the reply.
    QTimer::singleShot(5, Form2, [&] {
        disabledMeanwhile = !Form2->isEnabled();
        Form2->close();
        visibleAfterClose = Form2->isVisible();
    });
    msgbox::clearShown();
    Button(1)->click();
    EXPECT_TRUE(disabledMeanwhile);
    EXPECT_TRUE(visibleAfterClose);
    EXPECT_EQ(Panel(1), "LOAD SUCCESS");
    EXPECT_TRUE(Form2->isEnabled());
    EXPECT_TRUE(Form2->isVisible());
}

// --- Save and Set Default --------------------------------------------------------------

TEST_F(Form2Test, SetDefaultSendsTheDefaultBlock) {
    Choose();
    vr_clear_log();
    msgbox::clearShown();
    Button(5)->click();
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 2u); // the block, then the read-back that shows it was taken
    EXPECT_EQ(messages[1], (std::vector<uint8_t>{0xA9, 0x7E}));
    const auto &frame = messages[0];
    ASSERT_EQ(frame.size(), 227u);
    EXPECT_EQ(frame[0], 0xAA);
    EXPECT_EQ(frame[1], 0x7E);
    EXPECT_EQ(frame[2 + 2 + Flags], 0x39);
    EXPECT_EQ(frame[2 + 2 + Order0], '5');
    EXPECT_EQ(frame[2 + 2 + Order1], '6');
    EXPECT_EQ(frame[2 + 2 + Order2], '7');
    for (int k = 0; k < 18; ++k)
        EXPECT_EQ(frame[4 + size_t(k)], kFactory[size_t(k)]) << k;
    EXPECT_EQ(Texts(), std::vector<QString>{"\"SAVE \"successful"});
    EXPECT_EQ(Panel(0), "SAVE");
    EXPECT_EQ(Panel(1), "SAVE SUCCESS");
    // The window shows the defaults.
    EXPECT_TRUE(Check(4)->isChecked());
    EXPECT_TRUE(Check(10)->isChecked());
    EXPECT_EQ(Combo(1)->currentIndex(), 0);
}

TEST_F(Form2Test, SetDefaultOnAWindowThatNeverFoundAReader) {
    vr_set_present(0);
    Choose();
    vr_set_present(1);
    vr_clear_log();
    msgbox::clearShown();
    W<QAction>("SetDefault1")->trigger();
    ASSERT_EQ(vr_message_count(), 2); // the block and its read-back
    EXPECT_EQ(Messages()[0].size(), 227u);
    EXPECT_EQ(ReaderBlock(), Block(kFactory));
    EXPECT_EQ(Panel(1), "SAVE SUCCESS");
    EXPECT_EQ(Texts(), std::vector<QString>{"\"SAVE \"successful"});
}

TEST_F(Form2Test, RoundTripThroughTheReader) {
    Choose();
    Check(2)->click(); // track 2 off
    EXPECT_FALSE(Edit(3)->isEnabled());
    EXPECT_FALSE(Check(5)->isEnabled());
    EXPECT_FALSE(Check(5)->isChecked());
    Check(6)->click(); // no Enter after track 3
    Edit(1)->setText("A");
    Edit(2)->setText("B");
    Edit(6)->setText("Z");
    Check(7)->click(); // beep off
    Check(8)->click(); // IBM on
    Check(9)->click(); // any valid track on
    Select(1, 3);      // "2-3-1"
    Select(3, 4);      // ITALIAN
    Edit(9)->setText("#");
    Edit(10)->setText("[");
    Edit(11)->setText("]");
    Select(4, 4); // "4-Other"
    EXPECT_TRUE(Edit(12)->isEnabled());
    auto *up1 = Form2->findChild<QWidget *>("UpDown1");
    ASSERT_NE(up1, nullptr);
    Form2->UpDown[1]->Press(true);
    Form2->UpDown[1]->Press(true); // from 3
    Form2->UpDown[2]->Press(true); // length 16 -> 1
    EXPECT_EQ(Edit(12)->text(), "3");
    EXPECT_EQ(Edit(13)->text(), "1");
    Select(5, 2); // "2-ID,FC": 3 / 14
    Check(10)->click();
    msgbox::clearShown();
    Button(4)->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"\"SAVE \"successful"});
    EXPECT_EQ(Panel(1), "SAVE SUCCESS");

    const auto block = ReaderBlock();
    EXPECT_EQ(Option(block, T1S), 'A');
    EXPECT_EQ(Option(block, T1E), 'B');
    EXPECT_EQ(Option(block, T3E), 'Z');
    EXPECT_EQ(Option(block, Flags), 0x04 | 0x30);
    // "2-3-1": track 2 off, track 3 without Enter, track 1 with Enter.
    EXPECT_EQ(Option(block, Order0), '0');
    EXPECT_EQ(Option(block, Order1), '3');
    EXPECT_EQ(Option(block, Order2), '5');
    EXPECT_EQ(Option(block, AttSel), 0x42);
    EXPECT_EQ(Option(block, AttLen), 0x00);
    EXPECT_EQ(Option(block, RemSel), 0x22);
    EXPECT_EQ(Option(block, RemLen), 0x1D);
    EXPECT_EQ(Option(block, IbS), '[');
    EXPECT_EQ(Option(block, JisE), '#');

    TMsrControls saved;
    Form2->ReadControls(saved);
    Reopen();
    EXPECT_EQ(Panel(1), "MSR_INIT SUCCESS");
    TMsrControls shown;
    Form2->ReadControls(shown);
    for (int e = 1; e <= 15; ++e) {
        EXPECT_EQ(shown.Edit[e], saved.Edit[e]) << "Edit" << e;
        EXPECT_EQ(shown.EditEnabled[e], saved.EditEnabled[e]) << "Edit" << e;
    }
    for (int i = 1; i <= 11; ++i) {
        EXPECT_EQ(shown.Check[i], saved.Check[i]) << "CheckBox" << i;
        EXPECT_EQ(shown.CheckEnabled[i], saved.CheckEnabled[i]) << "CheckBox" << i;
    }
    EXPECT_EQ(Combo(1)->currentText(), "2-3-1");
    EXPECT_EQ(Combo(3)->currentText(), "ITALIAN");
    EXPECT_EQ(Combo(4)->currentText(), "4-Other");
    EXPECT_EQ(Combo(5)->currentText(), "2-ID,FC");
}

TEST_F(Form2Test, TooLongSequenceFailsTheSaveBeforeAnythingIsWritten) {
    Choose();
    // Seven extended releases: 21 bytes in seven entries.
    for (int i = 0; i < 7; ++i) {
        Form2->MsrSettings.LayerStore[3][4 * i] = 0xE0;
        Form2->MsrSettings.LayerStore[3][4 * i + 1] = 0xF0;
        Form2->MsrSettings.LayerStore[3][4 * i + 2] = 0x1F;
    }
    Form2->MsrSettings.LayerModes[3] = kModeCode;
    vr_clear_log();
    msgbox::clearShown();
    Button(4)->click();
    EXPECT_EQ(Texts(), std::vector<QString>{
                           "Your magcard's mark defined too mand codes in one or more layers"});
    EXPECT_EQ(Panel(1), "SAVE ERROR");
    EXPECT_EQ(vr_message_count(), 0);
    EXPECT_EQ(vr_open_handles(), 0);
    EXPECT_TRUE(Form2->isEnabled());
}

TEST_F(Form2Test, SilentReaderFailsTheSaveAfterThreeIdenticalAttempts) {
    Choose();
    Form2->MsrSettings.LayerStore[5][0] = 'a';
    Form2->MsrSettings.LayerStore[5][4] = '\\';
    Form2->MsrSettings.LayerStore[5][8] = 'n';
    Form2->MsrSettings.LayerModes[5] = kModeAscii;
    vr_clear_log();
    Silence();
    msgbox::clearShown();
    Button(4)->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"Can't find the USBMSR!"});
    EXPECT_EQ(Panel(1), "SAVE ERROR");
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], messages[1]);
    EXPECT_EQ(messages[1], messages[2]);
    // The escape is converted in every attempt's frame: tag 0x15, 2 bytes, 'a' 0x0D.
    const std::vector<uint8_t> tail = {0x15, 0x02, 'a', 0x0D};
    ASSERT_GE(messages[2].size(), 4u);
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), messages[2].end() - 4));
}

// --- the mapping as the window shows and saves it --------------------------------------

TEST_F(Form2Test, DisabledTrackShownAndSavedUnderTheChosenSequence) {
    Options o = kFactory;
    o[Order0] = '0';
    o[Order1] = '6';
    o[Order2] = '3';
    SetReaderBlock(Block(o));
    Choose();
    EXPECT_FALSE(Check(1)->isChecked());
    EXPECT_FALSE(Edit(1)->isEnabled());
    EXPECT_FALSE(Edit(2)->isEnabled());
    EXPECT_FALSE(Check(4)->isChecked());
    EXPECT_FALSE(Check(4)->isEnabled());
    EXPECT_TRUE(Check(2)->isChecked() && Check(5)->isChecked());
    EXPECT_TRUE(Check(3)->isChecked() && !Check(6)->isChecked());
    EXPECT_NE(Edit(1)->palette().color(QPalette::Base), Edit(3)->palette().color(QPalette::Base));

    Button(4)->click();
    EXPECT_EQ(Panel(1), "SAVE SUCCESS");
    auto block = ReaderBlock();
    EXPECT_EQ(Option(block, Order0), '0');
    EXPECT_EQ(Option(block, Order1), '6');
    EXPECT_EQ(Option(block, Order2), '3');
    Select(1, 2); // "2-1-3"
    Button(4)->click();
    EXPECT_EQ(Panel(1), "SAVE SUCCESS");
    block = ReaderBlock();
    EXPECT_EQ(Option(block, Order0), '6');
    EXPECT_EQ(Option(block, Order1), '0');
    EXPECT_EQ(Option(block, Order2), '3');

    // Switching track 1 back on enables its sentinels and Enter box again.
    Check(1)->click();
    EXPECT_TRUE(Edit(1)->isEnabled() && Check(4)->isEnabled());
}

TEST_F(Form2Test, EmptySentinelsAndPortBitsOnSave) {
    Choose();
    Edit(1)->clear();
    Edit(10)->clear();
    Edit(8)->clear();
    Combo(2)->setCurrentIndex(1); // the hidden port boxes say "COM"
    Combo(6)->setCurrentIndex(1);
    msgbox::clearShown();
    Button(4)->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"\"SAVE \"successful"});
    const auto block = ReaderBlock();
    EXPECT_EQ(Option(block, T1S), 0x01);
    EXPECT_EQ(Option(block, IbS), 0x00);
    EXPECT_EQ(Option(block, JisS), 0x00);
    EXPECT_EQ(Option(block, Flags) & 0x30, 0x30);
    // After the Save the port captions take the boxes' texts.
    EXPECT_EQ(W<QLabel>("Label13")->text(), "COM");
    EXPECT_EQ(W<QLabel>("Label27")->text(), "COM");
}

TEST_F(Form2Test, OutputOrdersAsLoaded) {
    Options o = kFactory;
    o[AttSel] = 0x42;
    o[AttLen] = 0x07;
    o[RemSel] = 0x12;
    o[RemLen] = 0x03;
    SetReaderBlock(Block(o));
    Choose();
    EXPECT_EQ(Combo(4)->currentText(), "4-Other");
    EXPECT_EQ(Edit(12)->text(), "3");
    EXPECT_EQ(Edit(13)->text(), "8");
    EXPECT_TRUE(Edit(12)->isEnabled());
    EXPECT_TRUE(Form2->findChild<QWidget *>("UpDown1")->isEnabled());
    EXPECT_EQ(Combo(5)->currentText(), "1-CRC,ID");
    EXPECT_EQ(Edit(14)->text(), "1");
    EXPECT_EQ(Edit(15)->text(), "14");
    EXPECT_FALSE(Edit(14)->isEnabled());
    EXPECT_FALSE(Form2->findChild<QWidget *>("UpDown3")->isEnabled());
    // The up-down wraps within 1..16.
    Form2->UpDown[2]->Press(false);
    Form2->UpDown[2]->Press(false);
    EXPECT_EQ(Edit(13)->text(), "6");
    for (int i = 0; i < 11; ++i)
        Form2->UpDown[2]->Press(true);
    EXPECT_EQ(Edit(13)->text(), "1");
}

TEST_F(Form2Test, UnlistedLanguageShowsUnknowAndGoesBackUnchanged) {
    uint8_t custom[256] = {};
    custom[0] = 7;
    for (int i = 1; i <= 190; ++i)
        custom[i] = static_cast<uint8_t>(i * 3);
    const auto original = Block(kFactory, kUnknownLanguage, custom);
    ASSERT_EQ(original[34], 7);
    SetReaderBlock(original);
    Choose();
    EXPECT_EQ(Combo(3)->currentIndex(), -1);
    EXPECT_EQ(Combo(3)->placeholderText(), "UNKNOW");
    EXPECT_EQ(Form2->LanguageChoice(), kUnknownLanguage);
    Button(4)->click();
    EXPECT_EQ(ReaderBlock(), original);

    // Choosing a listed language sends that language's table.
    Select(3, 1);
    Button(4)->click();
    const auto block = ReaderBlock();
    EXPECT_EQ(block[34], 1);
    EXPECT_EQ(0, std::memcmp(&block[35], kLanguageTables[1], 190));
}

TEST_F(Form2Test, PickerOpensTheEditorAndTheRadioPairKeepsTheRecordsMode) {
    SetReaderBlock(Block(kFactory, 0, nullptr, [](TMsrSettings &s) {
        s.LayerStore[3][0] = 'h';
        s.LayerModes[3] = kModeAscii;
        s.LayerStore[11][0] = 0x5A;
        s.LayerModes[11] = kModeCode;
    }));
    Choose();
    EXPECT_TRUE(Radio(1)->isChecked());
    EXPECT_FALSE(Radio(2)->isChecked());
    EXPECT_TRUE(Radio(10)->isChecked());
    EXPECT_FALSE(Radio(3)->isChecked() || Radio(4)->isChecked());

    // "Code" of the Header: the key code editor opens.
    MouseDown(Radio(2), Qt::LeftButton);
    EXPECT_EQ(Form2->MsrSettings.EditedSequence, 100);
    EXPECT_FALSE(Form2->isEnabled());
    QWidget *form5 = TopLevel("Form5");
    ASSERT_NE(form5, nullptr);
    EXPECT_TRUE(form5->isVisible());
    form5->close();
    EXPECT_TRUE(Form2->isEnabled());
    EXPECT_TRUE(Radio(1)->isChecked());
    EXPECT_FALSE(Radio(2)->isChecked());

    // "ASCII" of the JIS2 suffix opens the text entry, with a right click too.
    MouseDown(Radio(9), Qt::RightButton);
    EXPECT_EQ(Form2->MsrSettings.EditedSequence, 108);
    QWidget *form6 = TopLevel("Form6");
    ASSERT_NE(form6, nullptr);
    EXPECT_TRUE(form6->isVisible());
    // An editor that changed the mode: the pair follows the record.
    Form2->MsrSettings.LayerModes[11] = kModeAscii;
    form6->close();
    EXPECT_TRUE(Radio(9)->isChecked());
    EXPECT_FALSE(Radio(10)->isChecked());
}

// --- Normal Mode, Test Mode, Version ---------------------------------------------------

TEST_F(Form2Test, ModesWithTheReaderAnswering) {
    Choose();
    vr_clear_log();
    msgbox::clearShown();
    Button(3)->click();
    EXPECT_EQ(vr_mode(), 1);
    EXPECT_EQ(Panel(0), "TEST MODE");
    EXPECT_EQ(Panel(1), "TEST MODE SUCCESS");
    EXPECT_EQ(Texts(), std::vector<QString>{"setting is Successful!"});
    TMsrControls before;
    Form2->ReadControls(before);
    msgbox::clearShown();
    W<QAction>("NomalMode1")->trigger();
    EXPECT_EQ(vr_mode(), 0);
    EXPECT_EQ(Panel(0), "NORMAL MODE");
    EXPECT_EQ(Panel(1), "NORMAL MODE SUCCESS");
    EXPECT_EQ(Texts(), std::vector<QString>{"setting is Successful!"});
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], (std::vector<uint8_t>{0xAE, 0x01}));
    EXPECT_EQ(messages[1], (std::vector<uint8_t>{0xAE, 0x00}));
    TMsrControls after;
    Form2->ReadControls(after);
    EXPECT_EQ(after.Edit[1], before.Edit[1]);
    EXPECT_EQ(after.Check[4], before.Check[4]);
}

TEST_F(Form2Test, ModesWithTheReaderSilentOrAbsent) {
    Choose();
    vr_clear_log();
    Silence();
    msgbox::clearShown();
    Button(2)->click();
    EXPECT_EQ(CountMessages(0xAE), 3);
    EXPECT_EQ(Texts(), std::vector<QString>{"Can't find the USBMSR!"});
    EXPECT_EQ(Panel(1), "NORMAL MODE ERROR");
    vr_set_silent(0);
    vr_set_present(0);
    msgbox::clearShown();
    W<QAction>("TestMode1")->trigger();
    EXPECT_EQ(Texts(), std::vector<QString>{"Can't find the USBMSR!"});
    EXPECT_EQ(Panel(0), "TEST MODE");
    EXPECT_EQ(Panel(1), "TEST MODE ERROR");
    EXPECT_TRUE(Form2->isEnabled());
}

TEST_F(Form2Test, VersionWithoutTheBrandInAnyCase) {
    Choose();
    msgbox::clearShown();
    W<QAction>("Version1")->trigger();
    ASSERT_EQ(msgbox::shown().size(), 1u);
    EXPECT_EQ(msgbox::shown()[0].caption, "The Version is");
    EXPECT_EQ(msgbox::shown()[0].text, " KM5530 MSR V1.00"); // "KeLdO KM5530 MSR V1.00"
    EXPECT_EQ(Panel(0), "VERSION");
    EXPECT_EQ(Panel(1), "VERSION SUCCESS");
    EXPECT_EQ(Messages().back(), std::vector<uint8_t>{0xAD});

    vr_set_version_text("keldoV2 KELDO-keKELDOldo.");
    msgbox::clearShown();
    W<QAction>("Version1")->trigger();
    ASSERT_EQ(msgbox::shown().size(), 1u);
    EXPECT_EQ(msgbox::shown()[0].text, "V2 -.");

    vr_set_version_text("keldo");
    msgbox::clearShown();
    W<QAction>("Version1")->trigger();
    ASSERT_EQ(msgbox::shown().size(), 1u);
    EXPECT_EQ(msgbox::shown()[0].text, "");
}

TEST_F(Form2Test, VersionWithTheReaderSilentOrAbsent) {
    Choose();
    Silence();
    msgbox::clearShown();
    W<QAction>("Version1")->trigger();
    EXPECT_EQ(Texts(), std::vector<QString>{"Can't find the USBMSR!"});
    EXPECT_EQ(Panel(1), "VERSION ERROR");
    vr_set_silent(0);
    vr_set_present(0);
    msgbox::clearShown();
    W<QAction>("Version1")->trigger();
    EXPECT_EQ(Texts(), std::vector<QString>{"Can't find the USBMSR!"});
    EXPECT_EQ(Panel(1), "VERSION ERROR");
}

// --- the window's parts and its auxiliary windows --------------------------------------

TEST_F(Form2Test, LayoutNamesCaptionsAndHiddenParts) {
    EXPECT_EQ(Form2->windowTitle(), "KM5530_MSR V1.00");
    auto *tabs = W<QTabWidget>("PageControl1");
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_EQ(tabs->tabText(0), "     ISO     ");
    EXPECT_EQ(tabs->tabText(1), "   JIS2   ");
    EXPECT_EQ(tabs->tabText(2), "   iButton   ");
    EXPECT_EQ(tabs->tabText(3), "   IC_CARD   ");
    EXPECT_TRUE(tabs->isTabVisible(0));
    EXPECT_FALSE(tabs->isTabVisible(1));
    EXPECT_TRUE(tabs->isTabVisible(2));
    EXPECT_FALSE(tabs->isTabVisible(3));
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_TRUE(W<QWidget>("GroupBox1")->isHidden());
    for (const char *hidden : {"Button7", "Button11", "Button12"})
        EXPECT_TRUE(W<QPushButton>(hidden)->isHidden()) << hidden;
    const char *const buttons[][2] = {{"Button1", "Load"},        {"Button2", "Normal Mode"},
                                      {"Button3", "Test Mode"},   {"Button4", "Save"},
                                      {"Button5", "Set Default"}, {"Button6", "Test MSR"},
                                      {"BitBtn1", "EXIT"}};
    for (const auto &b : buttons)
        EXPECT_EQ(W<QPushButton>(b[0])->text(), b[1]);
    const char *const items[][2] = {
        {"Load1", "Load"}, {"NomalMode1", "Nomal Mode"},   {"TestMode1", "Test Mode"},
        {"Save1", "Save"}, {"SetDefault1", "Set Default"}, {"Exit1", "Test MSR"},
        {"EXIT2", "EXIT"}, {"Version1", "Version"},        {"About1", "About"}};
    for (const auto &i : items) {
        EXPECT_EQ(W<QAction>(i[0])->text(), i[1]);
        EXPECT_TRUE(W<QAction>(i[0])->isVisible()) << i[0];
    }
    for (const char *hidden : {"OpenFile1", "SaveFile1", "ICCARDTEST1", "CurrentConnection1"})
        EXPECT_FALSE(W<QAction>(hidden)->isVisible()) << hidden;
    EXPECT_EQ(W<QAction>("COM81")->text(), "COM8");
    EXPECT_EQ(W<QLabel>("StatusBar1Panel0")->width(), 170);
    EXPECT_GE(W<QLabel>("StatusBar1Panel1")->minimumWidth(), 50);
    QStringList languages;
    for (int i = 0; i < Combo(3)->count(); ++i)
        languages << Combo(3)->itemText(i);
    EXPECT_EQ(languages, (QStringList{"USA", "Finland", "FRENCH", "GERMAN", "ITALIAN", "SPANISH",
                                      "JAPANESE"}));
    EXPECT_EQ(Combo(5)->itemText(6), "6-Prefix&Suffix");
    EXPECT_EQ(Check(8)->text(), "Support IBM  Card");
    // Initial values differ from Set Default: no Enter, no iButton beep.
    EXPECT_FALSE(Check(4)->isChecked());
    EXPECT_FALSE(Check(10)->isChecked());
    EXPECT_TRUE(Check(7)->isChecked());
    EXPECT_EQ(Edit(5)->text(), ";");
    EXPECT_EQ(Edit(11)->text(), "?");
    EXPECT_EQ(Edit(13)->text(), "16");
    EXPECT_FALSE(Edit(13)->isEnabled());
}

TEST_F(Form2Test, TestPageAndAboutBoxDisableTheWindowUntilTheyClose) {
    Choose();
    W<QAction>("Exit1")->trigger(); // "Test MSR" opens the test page; it does not exit
    EXPECT_TRUE(Form2->isVisible());
    EXPECT_FALSE(Form2->isEnabled());
    QWidget *form3 = TopLevel("Form3");
    ASSERT_NE(form3, nullptr);
    EXPECT_TRUE(form3->isVisible());
    form3->close();
    EXPECT_TRUE(Form2->isEnabled());

    W<QAction>("About1")->trigger();
    EXPECT_FALSE(Form2->isEnabled());
    QWidget *form4 = TopLevel("Form4");
    ASSERT_NE(form4, nullptr);
    EXPECT_TRUE(form4->isVisible());
    form4->close();
    EXPECT_TRUE(Form2->isEnabled());

    W<QAction>("EXIT2")->trigger();
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_TRUE(Form1->isVisible());
}

} // namespace
