// The key code editor TForm5 and the text entry TForm6, opened from the configuration
// window's picker buttons, with the record going to the virtual reader.
#include "keycodes/key_table.h"
#include "keycodes/ui/TForm5.h"
#include "keycodes/ui/TForm6.h"
#include "msr_reader_test.h"

#include <QAction>
#include <QClipboard>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTableWidget>
#include <QTest>
#include <utility>

namespace {

// Linux input codes of the keys used here.
enum Evdev {
    kEnter = 28,
    kLeftCtrl = 29,
    kA = 30,
    kLeftShift = 42,
    kNumLock = 69,
    kKeypadEnter = 96,
    kKeypadSlash = 98,
    kPause = 119,
    kLeftWin = 125,
};

// A key event of the real keyboard, as the platform reports it: the evdev code + 8.
void Key(QWidget *to, QEvent::Type type, int evdev, bool autoRepeat = false) {
    QKeyEvent event(type, Qt::Key_unknown, Qt::NoModifier, quint32(evdev + 8), 0, 0, QString(),
                    autoRepeat);
    QApplication::sendEvent(to, &event);
}

void Press(QWidget *to, int evdev, bool autoRepeat = false) {
    Key(to, QEvent::KeyPress, evdev, autoRepeat);
}
void Release(QWidget *to, int evdev, bool autoRepeat = false) {
    Key(to, QEvent::KeyRelease, evdev, autoRepeat);
}

// A typed character (with its text, no scan code).
void Type(QWidget *to, Qt::Key key, const QString &text,
          Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(to, &press);
}

class EditorTest : public MsrReaderTest {
  protected:
    // Opens the editor of a sequence from its picker button (Code or ASCII) and snapshots
    // the record as the editor found it.
    void Open(int radioButton) {
        MouseDown(Radio(radioButton));
        ASSERT_FALSE(Form2->isEnabled());
        Before = std::make_unique<TMsrSettings>(Form2->MsrSettings);
    }
    bool RecordUnchanged() const {
        return std::memcmp(&Form2->MsrSettings, Before.get(), sizeof *Before) == 0;
    }
    static QString Row(int row) {
        return Form5->Cell(1, row) + QLatin1Char('=') + Form5->Cell(2, row);
    }
    // Rows 1 ... n as "name=code" joined with blanks.
    static QString Rows(int n) {
        QStringList all;
        for (int r = 1; r <= n; ++r)
            all << Row(r);
        return all.join(QLatin1Char(' '));
    }
    static void Click(int label) {
        ASSERT_NE(Form5->Label[label], nullptr) << label;
        QTest::mouseClick(Form5->Label[label], Qt::LeftButton);
    }
    // The layer records of the last configuration the reader stored.
    static std::vector<uint8_t> SavedRecords() {
        msgbox::clearShown();
        Button(4)->click();
        EXPECT_EQ(Texts(), std::vector<QString>{"\"SAVE \"successful"});
        return LayerRecords(ReaderBlock());
    }
    std::unique_ptr<TMsrSettings> Before;
};

// --- the key code editor -------------------------------------------------------------

TEST_F(EditorTest, KeyCodeWindowLayout) {
    EXPECT_EQ(Form5->windowTitle(), "KEY CODE");
    EXPECT_EQ(Form5->size(), QSize(736, 441));
    QTableWidget *grid = W<QTableWidget>(Form5, "StringGrid1");
    ASSERT_EQ(grid->rowCount(), 20);
    EXPECT_EQ(Form5->Cell(0, 0) + Form5->Cell(1, 0) + Form5->Cell(2, 0), "  CodeValue");
    // The Code column also gets the width the row numbers do not need.
    Form5->show();
    EXPECT_GT(grid->columnWidth(1), 94);
    Form5->hide();
    EXPECT_EQ(Form5->Cell(0, 20), "20");
    QTableWidget *special = W<QTableWidget>(Form5, "StringGrid2");
    ASSERT_EQ(special->rowCount(), 12);
    EXPECT_EQ(special->item(7, 1)->text(), "Madia Select");
    EXPECT_EQ(special->item(8, 1)->text(), "Mai");
    EXPECT_EQ(W<QAction>(Form5, "Delete1")->text(), "Delete");
    EXPECT_TRUE(W<QAction>(Form5, "ClearAll1")->shortcut().isEmpty());

    EXPECT_EQ(W<QWidget>(Form5, "Image1")->geometry(), QRect(21, 19, 665, 134));
    int areas = 0;
    for (int n = 0; n <= 120; ++n)
        areas += Form5->findChild<QLabel *>(QStringLiteral("Label%1").arg(n)) != nullptr;
    EXPECT_EQ(areas, 116); // Label1 and the 115 click areas
    QLabel *backslash = W<QLabel>(Form5, "Label57");
    EXPECT_EQ(backslash->pos(), QPoint(412, 66));
    EXPECT_EQ(backslash->text(), "\\");
    const char *const overlays[] = {"Shift", "Ctrl", "LWIN", "Alt", "Alt", "RWIN", "Ctrl", "Shift"};
    for (int n = 111; n <= 118; ++n) {
        QLabel *overlay = W<QLabel>(Form5, QStringLiteral("Label%1").arg(n));
        EXPECT_EQ(overlay->text(), overlays[n - 111]);
        EXPECT_TRUE(overlay->isHidden()) << n;
    }
}

TEST_F(EditorTest, PictureShiftDownAndUpThenOkAndSaveSendTheSequence) {
    Choose();
    Open(2); // Header, Code
    EXPECT_TRUE(Form5->isVisible());
    EXPECT_EQ(Form2->MsrSettings.EditedSequence, 100);
    EXPECT_TRUE(Form5->HookInstalled());

    Click(58); // left Shift: looks held down
    EXPECT_TRUE(Form5->Label[58]->isHidden());
    EXPECT_TRUE(Form5->Label[111]->isVisible());
    Click(32);  // Q
    Click(111); // the overlay: Shift up again
    EXPECT_TRUE(Form5->Label[58]->isVisible());
    EXPECT_TRUE(Form5->Label[111]->isHidden());
    EXPECT_EQ(Rows(4), "Left Shift Down=12 Q=15 Left Shift Up=F012 =");
    EXPECT_EQ(Form5->Grid().Selected(), 3);

    Form5->BitBtn1->click();
    EXPECT_FALSE(Form5->isVisible());
    EXPECT_FALSE(Form5->HookInstalled());
    EXPECT_TRUE(Form2->isEnabled());
    EXPECT_TRUE(Radio(2)->isChecked());
    EXPECT_FALSE(Radio(1)->isChecked());
    const TMsrSettings &s = Form2->MsrSettings;
    EXPECT_EQ(s.LayerModes[3], kModeCode);
    EXPECT_EQ(std::string(s.NameCache[3][2]), "Left Shift Up");
    EXPECT_EQ(SavedRecords(), (std::vector<uint8_t>{0x03, 4, 0x12, 0x15, 0xF0, 0x12}));
}

TEST_F(EditorTest, RealKeyboardKeysWithRepeatsAndModifiers) {
    Choose();
    Open(6); // Suffix, Code
    QWidget *grid = Form5->StringGrid1;
    Press(grid, kLeftShift);
    Press(grid, kA);
    Press(grid, kA, true); // held: the key repeats
    Release(grid, kA, true);
    Press(grid, kA, true);
    Release(grid, kA);
    Release(grid, kLeftShift, true); // an auto-repeated release adds nothing
    Release(grid, kLeftShift);
    EXPECT_EQ(Rows(7), "Left Shift Down=12 A=1C A=1C A=1C Left Shift Up=F012 = =");

    Form5->ClearAll1->trigger();
    for (int key : {kNumLock, kKeypadEnter, kKeypadSlash, kEnter, kLeftWin}) {
        Press(grid, key);
        Release(grid, key);
    }
    EXPECT_EQ(Rows(7), "Num lock=77 Enter(Num Pad)=E05A /(Num Pad)=E04A Enter=5A "
                       "LWIN Down=E01F LWIN Up=E0F01F =");

    Press(grid, kLeftCtrl);
    Release(grid, kLeftCtrl);
    Form5->BitBtn1->click();
    EXPECT_EQ(SavedRecords(),
              (std::vector<uint8_t>{0x05, 14, 0x77, 0xE0, 0x5A, 0xE0, 0x4A, 0x5A, 0xE0, 0x1F, 0xE0,
                                    0xF0, 0x1F, 0x14, 0xF0, 0x14}));
}

TEST_F(EditorTest, KeysOfOtherWindowsAndProgramMadeKeysAreLeftAlone) {
    Choose();
    Open(4); // Separator, Code
    // A key going to another window is that window's.
    Press(Form2->findChild<QWidget *>("Edit1"), kA);
    // Events made by a program carry no scan code and pass.
    QTest::keyClick(Form5->StringGrid1, Qt::Key_A);
    EXPECT_EQ(Row(1), "=");
    // Pause inserts a row without a code and then locks the picture and the keyboard.
    Press(Form5->StringGrid1, kPause);
    EXPECT_EQ(Row(1), "PAUSE=");
    Press(Form5->StringGrid1, kA);
    EXPECT_EQ(Texts(), std::vector<QString>{"Cannot assign this code!"});
    Click(46);
    EXPECT_EQ(Row(2), "=");
    Form5->StringGrid2DblClick(3); // a special code still goes in
    EXPECT_EQ(Row(2), "F13=08");
    Form5->close();
    // No hook once the window is closed.
    msgbox::clearShown();
    Press(Form5->StringGrid1, kA);
    EXPECT_TRUE(msgbox::shown().empty());
    EXPECT_FALSE(Form5->HookInstalled());
}

TEST_F(EditorTest, FullListBoxIsDismissedFromTheKeyboard) {
    Choose();
    Open(2);
    for (int i = 0; i < 20; ++i)
        Press(Form5->StringGrid1, kA);
    EXPECT_EQ(Row(20), "A=1C");
    bool keyTaken = true, dismissed = false, inside = false;
    msgbox::setWhileShown([&](const msgbox::Shown &shown) {
        if (std::exchange(inside, true)) return; // a second box: the key below was taken
        // While the editor's box is up the editor takes no key...
        const QString before = Rows(20);
        Press(Form5->StringGrid1, kLeftShift);
        keyTaken = Rows(20) != before;
        // ...and the box itself gets Return from the keyboard.
        QMessageBox box(QMessageBox::NoIcon, shown.caption, shown.text, QMessageBox::Ok, Form5);
        box.open();
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, quint32(kEnter + 8), 0, 0,
                        QStringLiteral("\r"));
        QApplication::sendEvent(box.button(QMessageBox::Ok), &enter);
        dismissed = !box.isVisible() && box.clickedButton() == box.button(QMessageBox::Ok);
    });
    Press(Form5->StringGrid1, kA);
    msgbox::setWhileShown({});
    EXPECT_EQ(Texts(), std::vector<QString>{"Exceed the limit of key codes!"});
    EXPECT_FALSE(keyTaken);
    EXPECT_TRUE(dismissed);

    // A modifier of the picture that could not go in does not look held down.
    msgbox::clearShown();
    Click(58);
    EXPECT_EQ(Texts(), std::vector<QString>{"Exceed the limit of key codes!"});
    EXPECT_TRUE(Form5->Label[58]->isVisible());
    EXPECT_TRUE(Form5->Label[111]->isHidden());
}

TEST_F(EditorTest, CancelLeavesTheRecordByteIdentical) {
    SetReaderBlock(Block(0, nullptr, [](TMsrSettings &s) {
        const uint8_t codes[] = {0x7E, 0, 0, 0, 0xF0, 0x30, 0, 0, 0xE0, 0x7D, 0, 0};
        std::memcpy(s.LayerStore[3], codes, sizeof codes);
        s.LayerModes[3] = kModeCode;
    }));
    Choose();
    EXPECT_TRUE(Radio(2)->isChecked());
    Open(2);
    // The reader's sequence with the names the name builder gave it.
    EXPECT_EQ(Rows(4), "ScrolClock=7E =F030 PgUp=E07D =");
    Click(46);
    Form5->StringGrid2DblClick(1);
    Form5->Delete1->trigger();
    Form5->BitBtn2->click();
    EXPECT_FALSE(Form5->isVisible());
    EXPECT_TRUE(Form2->isEnabled());
    EXPECT_TRUE(RecordUnchanged());
    EXPECT_TRUE(Radio(2)->isChecked());

    // The ASCII button of a Code sequence: the text entry opens, Cancel leaves it Code.
    Open(1);
    ASSERT_TRUE(Form6->isVisible());
    EXPECT_EQ(Form6->Edit1->text(), "");
    QTest::keyClicks(Form6->Edit1, "xyz");
    QTest::keyClick(Form6->Edit1, Qt::Key_Escape);
    EXPECT_FALSE(Form6->isVisible());
    EXPECT_TRUE(RecordUnchanged());
    EXPECT_TRUE(Radio(2)->isChecked());
    EXPECT_FALSE(Radio(1)->isChecked());
}

TEST_F(EditorTest, RightClickChoosesTheRowThatDeleteRemoves) {
    Choose();
    Open(2);
    for (int label : {46, 47, 48, 49}) // A S D F
        Click(label);
    QTableWidget *grid = Form5->StringGrid1;
    const QPoint row2 = grid->visualRect(grid->model()->index(1, 1)).center();
    QTest::mousePress(grid->viewport(), Qt::RightButton, Qt::NoModifier, row2);
    QTest::mouseRelease(grid->viewport(), Qt::RightButton, Qt::NoModifier, row2);
    EXPECT_EQ(Form5->Grid().Selected(), 2);
    EXPECT_EQ(grid->currentRow(), 1);
    Form5->Delete1->trigger();
    EXPECT_EQ(Rows(5), "A=1C D=23 F=2B = =");

    // A left click on an empty row: the next key goes after the last named row.
    const QPoint row9 = grid->visualRect(grid->model()->index(8, 1)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, row9);
    EXPECT_EQ(Form5->Grid().InsertRow(), 4);
    Click(50); // G
    EXPECT_EQ(Rows(5), "A=1C D=23 F=2B G=34 =");

    Form5->ClearAll1->trigger();
    EXPECT_EQ(Rows(1), "=");
    EXPECT_EQ(Form5->Grid().InsertRow(), 1);
    Form5->BitBtn1->click();
    EXPECT_EQ(Form2->MsrSettings.LayerModes[3], kModeEmpty);
    EXPECT_FALSE(Radio(1)->isChecked() || Radio(2)->isChecked());
}

TEST_F(EditorTest, DeleteAfterARightClickOnAnEmptyRowRemovesNothing) {
    Choose();
    Open(2);
    for (int label : {46, 47, 48}) // A S D
        Click(label);
    QTableWidget *grid = Form5->StringGrid1;
    const auto at = [grid](int row) {
        return grid->visualRect(grid->model()->index(row - 1, 1)).center();
    };
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, at(2));
    QTest::mousePress(grid->viewport(), Qt::RightButton, Qt::NoModifier, at(9));
    QTest::mouseRelease(grid->viewport(), Qt::RightButton, Qt::NoModifier, at(9));
    EXPECT_EQ(grid->currentRow(), 8);
    Form5->Delete1->trigger();
    EXPECT_EQ(Rows(4), "A=1C S=1B D=23 =");
    Form5->BitBtn1->click();
    EXPECT_EQ(SavedRecords(), (std::vector<uint8_t>{0x03, 3, 0x1C, 0x1B, 0x23}));
}

TEST_F(EditorTest, ModifiersLookReleasedOnEveryShowing) {
    Choose();
    Open(2);
    Click(58);
    Click(76); // right Alt
    EXPECT_TRUE(Form5->Label[111]->isVisible());
    EXPECT_TRUE(Form5->Label[115]->isVisible());
    Form5->close(); // the close box
    Open(2);
    for (const TModifierKey &m : kModifierKeys) {
        EXPECT_TRUE(Form5->Label[m.DownLabel]->isVisible()) << m.DownLabel;
        EXPECT_TRUE(Form5->Label[m.UpLabel]->isHidden()) << m.UpLabel;
    }
    EXPECT_EQ(Row(1), "="); // closed without OK: nothing was kept
}

TEST_F(EditorTest, SequenceOutsideTheNineShowsNothingAndStoresNothing) {
    Choose();
    Form2->MsrSettings.LayerModes[11] = kModeCode;
    Form2->MsrSettings.LayerStore[11][0] = 0x1C;
    for (int code : {99, 109}) {
        Form2->MsrSettings.EditedSequence = code;
        Before = std::make_unique<TMsrSettings>(Form2->MsrSettings);
        Form2->setEnabled(false);
        Form5->show();
        EXPECT_EQ(Row(1), "=");
        Click(46);
        Form5->BitBtn1->click();
        EXPECT_TRUE(RecordUnchanged()) << code;
        EXPECT_TRUE(Form2->isEnabled());

        Form2->setEnabled(false);
        Form6->show();
        EXPECT_EQ(Form6->Edit1->text(), "");
        QTest::keyClicks(Form6->Edit1, "abc");
        Form6->BitBtn1->click();
        EXPECT_FALSE(Form6->isVisible());
        EXPECT_TRUE(RecordUnchanged()) << code;
    }
}

// --- the text entry ------------------------------------------------------------------

TEST_F(EditorTest, TextEntryLayoutAndCount) {
    EXPECT_EQ(Form6->windowTitle(), "ASCII_CODE");
    EXPECT_EQ(Form6->GroupBox1->title(), "ASCII INPUT:");
    EXPECT_EQ(Form6->Label1->text(), "Enter a string to represent the MSR:");
    EXPECT_EQ(Form6->Label2->text(), "0");
    EXPECT_EQ(Form6->Label2->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    EXPECT_TRUE(Form6->Label2->font().bold());
    EXPECT_EQ(Form6->BitBtn1->text(), "OK");
    EXPECT_EQ(Form6->BitBtn2->text(), "Cancel");
    EXPECT_EQ(Form6->Edit1->maxLength(), 32767); // no limit of its own
    Choose();
    Open(3);
    QTest::keyClicks(Form6->Edit1, "a b");
    EXPECT_EQ(Form6->Label2->text(), "3");
}

TEST_F(EditorTest, TypedKeysStopAtTwentyAndOnlyPrintableOnesGoIn) {
    Choose();
    Open(5); // Suffix, ASCII
    QLineEdit *edit = Form6->Edit1;
    Type(edit, Qt::Key_A, QStringLiteral("\x01"));    // a control character
    Type(edit, Qt::Key_unknown, QStringLiteral("é")); // above 0x7E
    Type(edit, Qt::Key_Delete, QStringLiteral("\x7f"));
    EXPECT_EQ(edit->text(), "");
    QTest::keyClicks(edit, "0123456789 bcdefghi");
    EXPECT_EQ(edit->text().size(), 19);
    EXPECT_TRUE(msgbox::shown().empty());
    QTest::keyClicks(edit, "jk");
    EXPECT_EQ(Texts(), std::vector<QString>{"Exceed the limit of key codes!"});
    EXPECT_EQ(edit->text(), "0123456789 bcdefghij");
    EXPECT_EQ(Form6->Label2->text(), "20");
    QTest::keyClick(edit, Qt::Key_Backspace); // still works at 20
    EXPECT_EQ(edit->text().size(), 19);
    // Shortcuts are no typed characters: select all, then type over it.
    Type(edit, Qt::Key_A, QStringLiteral("\x01"), Qt::ControlModifier);
    QTest::keyClicks(edit, "q");
    EXPECT_EQ(edit->text(), "q");
}

TEST_F(EditorTest, PastedTextIsFilteredAndTooLongTextIsRefusedOnOk) {
    Choose();
    Open(1);
    QLineEdit *edit = Form6->Edit1;
    QGuiApplication::clipboard()->setText(QStringLiteral("x\ty"));
    edit->paste();
    edit->insert(QStringLiteral("caf\u00e9"));
    EXPECT_EQ(edit->text(), "");
    const QString pasted = QStringLiteral("abcdefghijklmnopqrstuvwxy"); // 25
    QGuiApplication::clipboard()->setText(pasted);
    edit->paste();
    ASSERT_EQ(edit->text(), pasted);
    Form6->BitBtn1->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"Exceed the limit of key codes"});
    EXPECT_TRUE(Form6->isVisible());
    EXPECT_EQ(edit->text(), pasted);
    EXPECT_FALSE(Form2->isEnabled());
    EXPECT_TRUE(RecordUnchanged());
    Form6->BitBtn2->click();
    EXPECT_TRUE(Form2->isEnabled());
}

TEST_F(EditorTest, TextWithAnEscapeIsSavedAsItsControlByte) {
    Choose();
    Open(1); // Header, ASCII
    QTest::keyClicks(Form6->Edit1, "ab\\n");
    QTest::keyClick(Form6->Edit1, Qt::Key_Return); // OK
    EXPECT_FALSE(Form6->isVisible());
    EXPECT_TRUE(Form2->isEnabled());
    EXPECT_TRUE(Radio(1)->isChecked());
    EXPECT_FALSE(Radio(2)->isChecked());
    EXPECT_EQ(Form2->MsrSettings.LayerModes[3], kModeAscii);
    EXPECT_EQ(SavedRecords(), (std::vector<uint8_t>{0x13, 3, 0x61, 0x62, 0x0D}));

    // Reopened, it shows the text and its count.
    Open(1);
    EXPECT_EQ(Form6->Edit1->text(), "ab\\n");
    EXPECT_EQ(Form6->Label2->text(), "4");
    // OK with an empty entry empties the sequence: neither radio button.
    Form6->Edit1->clear();
    Form6->BitBtn1->click();
    EXPECT_EQ(Form2->MsrSettings.LayerModes[3], kModeEmpty);
    EXPECT_FALSE(Radio(1)->isChecked() || Radio(2)->isChecked());
    EXPECT_TRUE(SavedRecords().empty());
}

TEST_F(EditorTest, EscapesCountOneByteEachPastTwentyCharacters) {
    SetReaderBlock(Block(0, nullptr, [](TMsrSettings &s) {
        for (int i = 0; i < 12; ++i)
            s.LayerStore[10][4 * i] = 0x0D;
        s.LayerModes[10] = kModeAscii;
    }));
    Choose();
    Open(7); // JIS2 prefix, ASCII
    QString escapes;
    for (int i = 0; i < 12; ++i)
        escapes += QStringLiteral("\\n");
    EXPECT_EQ(Form6->Edit1->text(), escapes);
    EXPECT_EQ(Form6->Label2->text(), "24");
    Form6->BitBtn1->click(); // unchanged: the same 12 bytes
    EXPECT_FALSE(Form6->isVisible());
    EXPECT_EQ(SavedRecords(),
              (std::vector<uint8_t>{0x1A, 12, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13}));
    EXPECT_TRUE(Radio(7)->isChecked());

    // Eight more escapes make 20 bytes in 40 characters; a ninth character is refused.
    Open(7);
    msgbox::clearShown();
    QTest::keyClicks(Form6->Edit1, "\\e\\e\\e\\e\\t\\t\\t\\t");
    EXPECT_TRUE(msgbox::shown().empty());
    QTest::keyClicks(Form6->Edit1, "x");
    EXPECT_EQ(Texts(), std::vector<QString>{"Exceed the limit of key codes!"});
    EXPECT_EQ(Form6->Edit1->text().size(), 40);
    Form6->BitBtn1->click();
    const std::vector<uint8_t> records = SavedRecords();
    ASSERT_EQ(records.size(), 22u);
    EXPECT_EQ(records[1], 20);
    EXPECT_EQ(records[14], 0x1B);
    EXPECT_EQ(records[21], 0x09);
}

} // namespace
