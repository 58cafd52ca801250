// Start-up, the device chooser and the small notice windows, offscreen.
#include "contactless/ui/TForm10.h"
#include "diagnostics/ui/TForm3.h"
#include "diagnostics/ui/TForm7.h"
#include "keycodes/ui/TForm5.h"
#include "keycodes/ui/TForm6.h"
#include "link/ui/TForm2.h"
#include "program_test.h"
#include "shell/ui/TForm1.h"
#include "shell/ui/TForm4.h"
#include "shell/ui/TForm8.h"
#include "shell/ui/TForm9.h"
#include "shell/ui/application.h"
#include "shell/ui/forms.h"
#include "shell/ui/jpeg_picture.h"
#include "shell/ui/message_box.h"
#include "shell/ui/program_exit.h"
#include "smartcard/ui/TForm11.h"

#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {
template <typename T> T *Find(QWidget *w, const char *name) {
    T *child = w->findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

void Click(QWidget *w, const char *name) {
    auto *b = Find<QPushButton>(w, name);
    ASSERT_NE(b, nullptr);
    QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
}

class Shell : public ProgramTest {
  protected:
    // Runs the event loop until something ends it; 99 when nothing did within 20 s.
    static int RunEventLoop() {
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        guard.start(20000);
        return QApplication::exec();
    }
};

std::vector<QWidget *> Windows() {
    return {Form1, Form2, Form3, Form4, Form5, Form6, Form7, Form8, Form9, Form10, Form11};
}
} // namespace

TEST_F(Shell, ElevenWindowsAndOnlyTheChooserShows) {
    const auto windows = Windows();
    for (size_t i = 0; i < windows.size(); ++i) {
        ASSERT_NE(windows[i], nullptr) << i + 1;
        EXPECT_EQ(windows[i]->objectName(), QString("Form%1").arg(i + 1));
        EXPECT_EQ(windows[i]->isVisible(), i == 0) << i + 1;
    }
    EXPECT_EQ(Form1->UiText[0], "Language");
    EXPECT_EQ(Form1->PortChoice.FirstShowMsr, 1);
    EXPECT_EQ(Form1->PortChoice.FirstShowRfid, 1);
    EXPECT_EQ(Form1->PortChoice.FirstShowPcsc, 1);
    EXPECT_EQ(Form1->PortChoice.ConnectionKind, 0);
    EXPECT_EQ(Form1->PortChoice.SerialPort, 0);
    EXPECT_EQ(Form1->PortChoice.CardOnUsb, 0);
    EXPECT_EQ(Form1->PortChoice.IButtonOnSerial, 0);
    EXPECT_EQ(Form1->PortChoice.PortNameIndex, 0);
}

TEST_F(Shell, StartUpBuildsTheChooserAloneAndEveryOtherWindowOnceOnFirstUse) {
    EXPECT_EQ(QApplication::topLevelWidgets(), QWidgetList{Form1});
    const std::vector<QWidget *> built = {
        Form2.existing(), Form3.existing(), Form4.existing(), Form5.existing(),  Form6.existing(),
        Form7.existing(), Form8.existing(), Form9.existing(), Form10.existing(), Form11.existing()};
    EXPECT_EQ(std::count(built.begin(), built.end(), nullptr), 10);

    // The key code editor comes with its owner, hidden, placed as a window of the owner.
    TForm5 *editor = Form5;
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(Form5.get(), editor);
    ASSERT_NE(Form2.existing(), nullptr);
    EXPECT_FALSE(editor->isVisible() || Form2->isVisible());
    EXPECT_EQ(editor->windowType(), Qt::Dialog);
    EXPECT_EQ(Form2->windowType(), Qt::Window);
    EXPECT_EQ(Form3.existing(), nullptr);

    // Gone with the window set, and not built again by anyone asking afterwards.
    DestroyForms();
    EXPECT_EQ(Form5.get(), nullptr);
    EXPECT_EQ(Form2.get(), nullptr);
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
    CreateForms();
    EXPECT_EQ(Form2.existing(), nullptr);
    EXPECT_NE(Form2.get(), nullptr);
}

TEST_F(Shell, ChooserLayout) {
    EXPECT_EQ(Form1->windowTitle(), "KELDO three in one 2014_DEMO");
    EXPECT_EQ(Form1->size(), QSize(478, 250));
    EXPECT_EQ(Form1->minimumSize(), Form1->maximumSize());
    auto *group = Find<QGroupBox>(Form1, "RadioGroup1");
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->title(), QString::fromUtf8("Choose Devices："));
    const struct {
        const char *name, *text;
        QColor colour;
    } radios[] = {{"RadioButton1", "MSR Device", Qt::red},
                  {"RadioButton2", "PS/SC Device", Qt::blue},
                  {"RadioButton3", "RFID Device", QColor(128, 0, 128)}};
    for (const auto &r : radios) {
        auto *radio = Find<QRadioButton>(group, r.name);
        ASSERT_NE(radio, nullptr);
        EXPECT_EQ(radio->text(), r.text);
        EXPECT_TRUE(radio->font().bold());
        EXPECT_EQ(radio->font().pixelSize(), 19);
        EXPECT_EQ(radio->palette().color(QPalette::WindowText), r.colour) << r.name;
    }
    EXPECT_TRUE(Form1->RadioButton1->isChecked());
    for (const char *name : {"BitBtn1", "BitBtn2"}) {
        auto *b = Find<QPushButton>(Form1, name);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->size(), QSize(90, 90));
        EXPECT_TRUE(b->text().isEmpty());
        const QRegion mask = b->mask();
        EXPECT_EQ(mask.boundingRect(), QRect(4, 4, 82, 82)) << name;
        EXPECT_TRUE(mask.contains(QPoint(45, 45)));
        EXPECT_FALSE(mask.contains(QPoint(6, 6))); // corners are cut away
        EXPECT_FALSE(mask.contains(QPoint(2, 45)));
    }
    // Go sits above quit.
    EXPECT_LT(Form1->BitBtn1->y(), Form1->BitBtn2->y());
    // The glyphs are drawn: the button centres are not the window's background.
    const QImage shot = Form1->grab().toImage();
    const QColor background = Form1->palette().color(QPalette::Window);
    EXPECT_NE(shot.pixelColor(Form1->BitBtn1->geometry().center() + QPoint(0, 30)), background);
    EXPECT_NE(shot.pixelColor(Form1->BitBtn2->geometry().center() + QPoint(30, 0)), background);
}

TEST_F(Shell, EachDeviceShowsItsWindowAndClosingItBringsTheChooserBack) {
    const struct {
        QRadioButton *radio;
        QWidget *window;
        uint8_t TPortChoice::*flag;
    } devices[] = {{Form1->RadioButton1, Form2, &TPortChoice::FirstShowMsr},
                   {Form1->RadioButton2, Form11, &TPortChoice::FirstShowPcsc},
                   {Form1->RadioButton3, Form10, &TPortChoice::FirstShowRfid}};
    for (const auto &d : devices) {
        d.radio->setChecked(true);
        Click(Form1, "BitBtn1");
        EXPECT_TRUE(d.window->isVisible()) << d.window->objectName().toStdString();
        EXPECT_FALSE(Form1->isVisible());
        EXPECT_EQ(Form1->PortChoice.*d.flag, 1);
        d.window->close();
        EXPECT_FALSE(d.window->isVisible());
        EXPECT_TRUE(Form1->isVisible());
        EXPECT_EQ(Form1->PortChoice.*d.flag, 0);
        // The same window object comes back.
        Click(Form1, "BitBtn1");
        EXPECT_TRUE(d.window->isVisible());
        d.window->close();
    }
    EXPECT_FALSE(ProgramEndRequested());
}

TEST_F(Shell, ChoosingTheReaderAgainDoesNotBindAgain) {
    // No transport library can be found here: the first showing asks once.
    Click(Form1, "BitBtn1");
    ASSERT_EQ(Questions(), 1);
    EXPECT_EQ(msgbox::shown()[0].caption, "The LORVANE.dll Is Not Open!");
    EXPECT_EQ(msgbox::shown()[0].text, "Are you sure to close the application program?");
    EXPECT_TRUE(Form2->isVisible());
    EXPECT_FALSE(ProgramEndRequested()); // answered No
    Form2->close();
    msgbox::clearShown();
    Click(Form1, "BitBtn1");
    EXPECT_TRUE(Form2->isVisible());
    EXPECT_EQ(Questions(), 0);
    Form2->close();
}

TEST_F(Shell, YesToTheCloseQuestionEndsTheEventLoop) {
    msgbox::setNextAnswer(true);
    QTimer::singleShot(0, [] { Click(Form1, "BitBtn1"); });
    EXPECT_EQ(RunEventLoop(), 0);
    EXPECT_TRUE(ProgramEndRequested());
    EXPECT_EQ(Questions(), 1);
}

TEST_F(Shell, OtherDevicesStillChooseUsbHid) {
    for (QRadioButton *radio : {Form1->RadioButton2, Form1->RadioButton3}) {
        Form1->PortChoice.ConnectionKind = 5;
        Form1->PortChoice.CardOnUsb = 0;
        Form1->PortChoice.IButtonOnSerial = 1;
        radio->setChecked(true);
        Click(Form1, "BitBtn1");
        EXPECT_EQ(Form1->PortChoice.ConnectionKind, 0);
        EXPECT_EQ(Form1->PortChoice.CardOnUsb, 1);
        EXPECT_EQ(Form1->PortChoice.IButtonOnSerial, 0);
        (radio == Form1->RadioButton2 ? static_cast<QWidget *>(Form11) : Form10)->close();
    }
    // Neither binds the configuration window's libraries; each binds its own, which cannot
    // all be found here: the questions name only those, are answered No, and the windows stay.
    int lorvanex = 0;
    for (const auto &box : msgbox::shown()) {
        if (!box.isQuestion) continue;
        EXPECT_TRUE(box.caption.startsWith("The brenmark.dll") ||
                    box.caption.startsWith("The lorvanex.dll"))
            << box.caption.toStdString();
        EXPECT_EQ(box.text, "Are you sure to close the application program");
        lorvanex += box.caption == "The lorvanex.dll Is Not Open!";
    }
    EXPECT_EQ(lorvanex, 1);
    EXPECT_FALSE(ProgramEndRequested());
    EXPECT_EQ(Form2->ReaderLink.HidModule, nullptr);
    // Chosen again: no second question.
    msgbox::clearShown();
    Click(Form1, "BitBtn1");
    EXPECT_TRUE(Form10->isVisible());
    EXPECT_EQ(Questions(), 0);
    Form10->close();
}

namespace {
// Records whether the chooser accepted input while a window was being shown.
class ShowSpy : public QObject {
  public:
    bool eventFilter(QObject *o, QEvent *e) override {
        if (e->type() == QEvent::Show) chooserEnabled = Form1->isEnabled();
        return QObject::eventFilter(o, e);
    }
    int chooserEnabled = -1;
};
} // namespace

TEST_F(Shell, ChooserTakesNoClickWhileTheDeviceWindowShows) {
    ShowSpy spy;
    Form11->installEventFilter(&spy);
    Form1->RadioButton2->setChecked(true);
    Click(Form1, "BitBtn1");
    EXPECT_EQ(spy.chooserEnabled, 0);
    EXPECT_TRUE(Form1->isEnabled()); // enabled again, for when it comes back
    Form11->close();
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_TRUE(Form1->isEnabled());
}

TEST_F(Shell, NoDeviceCheckedDoesNothingMore) {
    Form1->RadioButton1->setAutoExclusive(false);
    Form1->RadioButton1->setChecked(false);
    Form1->PortChoice.CardOnUsb = 0;
    Click(Form1, "BitBtn1");
    EXPECT_EQ(Form1->PortChoice.CardOnUsb, 1);
    EXPECT_TRUE(Form1->isVisible());
    for (QWidget *w : {static_cast<QWidget *>(Form2), static_cast<QWidget *>(Form10),
                       static_cast<QWidget *>(Form11)})
        EXPECT_FALSE(w->isVisible());
}

TEST_F(Shell, QuitEndsTheProgramWithTheOtherWindowsAliveButHidden) {
    QTimer::singleShot(0, [] { Click(Form1, "BitBtn2"); });
    EXPECT_EQ(RunEventLoop(), 0);
    EXPECT_TRUE(ProgramEndRequested());
    EXPECT_FALSE(Form1->isVisible());
    for (QWidget *w : Windows()) {
        ASSERT_NE(w, nullptr);
        EXPECT_FALSE(w->isVisible());
    }
}

TEST_F(Shell, AboutBoxEnablesTheConfigurationWindowWhenClosed) {
    EXPECT_EQ(Form4->windowTitle(), "KELDO three in one 2014 ABOUT");
    EXPECT_EQ(Find<QLabel>(Form4, "Label1")->text(),
              QString::fromUtf8("VERSION： KELDO three in one 2014 V1.00"));
    EXPECT_FALSE(Find<QLabel>(Form4, "Label2")->text().isEmpty());
    EXPECT_EQ(Find<QPushButton>(Form4, "BitBtn1")->text(), "OK");
    EXPECT_EQ(Form4->Image1->image().size(), QSize(120, 150));
    Form2->setEnabled(false);
    Form4->show();
    EXPECT_FALSE(Form2->isEnabled());
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((Form4->frameGeometry().center() - centre).manhattanLength(), 1);
    Click(Form4, "BitBtn1");
    EXPECT_FALSE(Form4->isVisible());
    EXPECT_TRUE(Form2->isEnabled());
}

TEST_F(Shell, ReaderNotFoundDisablesTheConfigurationWindowWhileShown) {
    EXPECT_EQ(Form9->windowTitle(), "KM5530");
    EXPECT_EQ(Find<QLabel>(Form9, "Label1")->text(), "No MSR found at current selected");
    EXPECT_EQ(Find<QLabel>(Form9, "Label2")->text(), "");
    EXPECT_EQ(Find<QLabel>(Form9, "Label3")->text(), "port!");
    EXPECT_EQ(Find<QPushButton>(Form9, "BitBtn1")->text(), "OK(&O)");
    Form9->Label2->setText("COM3");
    Form9->show();
    EXPECT_FALSE(Form2->isEnabled());
    Click(Form9, "BitBtn1");
    EXPECT_FALSE(Form9->isVisible());
    EXPECT_TRUE(Form2->isEnabled());
}

TEST_F(Shell, CablePictureFillsItsWindowAndClosingEnablesTheChooser) {
    EXPECT_EQ(Form8->windowTitle(), "KX7P");
    EXPECT_FALSE(Form8->Image1->image().isNull());
    Form8->resize(300, 200);
    Form8->show();
    EXPECT_EQ(Form8->Image1->geometry(), Form8->rect());
    Form1->setEnabled(false);
    Form8->close();
    EXPECT_TRUE(Form1->isEnabled());
}

TEST(Jpeg, BrokenPicturesLeaveAnEmptyArea) {
    EXPECT_TRUE(DecodeJpeg(QByteArray()).isNull());
    EXPECT_TRUE(DecodeJpeg(QByteArray("not a jpeg at all")).isNull());
    QFile f(":/pictures/cable.jpg");
    Q_INIT_RESOURCE(pictures);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray whole = f.readAll();
    EXPECT_FALSE(DecodeJpeg(whole).isNull());
    EXPECT_TRUE(DecodeJpeg(whole.left(40)).isNull());
    EXPECT_TRUE(DecodeJpegFile(":/pictures/absent.jpg").isNull());

    TPicture picture;
    picture.resize(50, 40);
    picture.setStretch(true);
    picture.setImage(DecodeJpeg(whole.left(40)));
    const QImage shot = picture.grab().toImage();
    const QColor first = shot.pixelColor(0, 0);
    for (int y = 0; y < shot.height(); y += 7)
        for (int x = 0; x < shot.width(); x += 7)
            ASSERT_EQ(shot.pixelColor(x, y), first);

    // A file given to the picture is decoded when first needed; one that is missing
    // paints nothing, and a later good one replaces the picture whole.
    picture.setJpegFile(":/pictures/absent.jpg");
    EXPECT_EQ(picture.grab().toImage(), shot);
    EXPECT_TRUE(picture.image().isNull());
    picture.setJpegFile(":/pictures/cable.jpg");
    EXPECT_EQ(picture.image().size(), DecodeJpeg(whole).size());
    EXPECT_NE(picture.grab().toImage(), shot);
}

namespace {
class Thrower : public QObject {
  public:
    bool event(QEvent *e) override {
        if (e->type() == QEvent::User) throw std::runtime_error("escaped from a handler");
        return QObject::event(e);
    }
};
} // namespace

TEST(Application, ExceptionFromAHandlerIsShownInABox) {
    msgbox::setTestMode(true);
    msgbox::clearShown();
    Thrower t;
    QEvent e(QEvent::User);
    QCoreApplication::sendEvent(&t, &e);
    ASSERT_EQ(msgbox::shown().size(), 1u);
    EXPECT_FALSE(msgbox::shown()[0].isQuestion);
    EXPECT_EQ(msgbox::shown()[0].text, "escaped from a handler");
    msgbox::clearShown();
}

TEST(Application, ExceptionEscapingStartUpIsShownAndEndsTheProgram) {
    msgbox::setTestMode(true);
    msgbox::clearShown();
    auto *app = static_cast<TApplication *>(QCoreApplication::instance());
    const int rc = RunApplication(*app, [] {
        CreateForms();
        throw std::runtime_error("start-up failed");
    });
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(Form1, nullptr); // what was created is destroyed again
    ASSERT_EQ(msgbox::shown().size(), 1u);
    EXPECT_EQ(msgbox::shown()[0].text, "start-up failed");
    msgbox::clearShown();
}

TEST(MessageBoxSeam, RecordsAndAnswers) {
    msgbox::setTestMode(true);
    msgbox::clearShown();
    msgbox::information(nullptr, "plain");
    EXPECT_FALSE(msgbox::question(nullptr, "c", "q?")); // No by default
    msgbox::setNextAnswer(true);
    EXPECT_TRUE(msgbox::question(nullptr, "c", "q?"));
    EXPECT_FALSE(msgbox::question(nullptr, "c", "q?")); // an answer is used once
    ASSERT_EQ(msgbox::shown().size(), 4u);
    EXPECT_EQ(msgbox::shown()[0].text, "plain");
    EXPECT_TRUE(msgbox::shown()[1].isQuestion);
    EXPECT_EQ(msgbox::shown()[1].caption, "c");
    msgbox::clearShown();
}

int main(int argc, char **argv) {
    // Test discovery runs this without the test's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
