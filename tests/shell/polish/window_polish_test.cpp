// What a user sees of the windows under a window manager, offscreen: glyphs and captions
// that fit, message boxes wide enough for their captions, the about box's keys, auxiliary
// windows kept above the configuration window, placement, sizes and the chooser's look.
#include "busy_cursor_log.h"
#include "contactless/mifare_operations.h"
#include "contactless/rfid_link.h"
#include "contactless/ui/TForm10.h"
#include "diagnostics/ui/TForm3.h"
#include "diagnostics/ui/TForm7.h"
#include "form2_probe.h"
#include "keycodes/ui/TForm5.h"
#include "keycodes/ui/TForm6.h"
#include "link/reader_link.h"
#include "link/ui/TForm2.h"
#include "program_test.h"
#include "shell/ui/TForm1.h"
#include "shell/ui/TForm4.h"
#include "shell/ui/TForm8.h"
#include "shell/ui/TForm9.h"
#include "shell/ui/busy_cursor.h"
#include "shell/ui/forms.h"
#include "shell/ui/message_box.h"
#include "shell/ui/round_button.h"
#include "smartcard/pcsc_link.h"
#include "smartcard/ui/TForm11.h"
#include "virtual_reader.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGlyphRun>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRawFont>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QTextLayout>
#include <QWindow>
#include <cmath>
#include <cstring>
#include <map>

namespace {

std::vector<QWidget *> Windows() {
    return {Form1, Form2, Form3, Form4, Form5, Form6, Form7, Form8, Form9, Form10, Form11};
}

QString Name(const QWidget *w) {
    return w->objectName();
}

class Polish : public ProgramTest {
  protected:
    void SetUp() override {
        vr_reset();
        ProgramTest::SetUp();
    }
    void TearDown() override {
        for (QWidget *w : Windows())
            if (w && w != Form1) w->hide();
        ProgramTest::TearDown();
    }
    // "MSR Device" in the chooser, and the probe of the virtual reader done.
    static void Choose() {
        Form1->RadioButton1->setChecked(true);
        Form1->BitBtn1Click();
        ASSERT_TRUE(Form2->isVisible());
        WaitForProbe();
        ASSERT_EQ(Form2->PanelText(1), "MSR_INIT SUCCESS");
        msgbox::clearShown();
    }
    static void Drain() {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }
};

// Whether `ch` of `text` is drawn from a font that has it: with none at hand it would be
// drawn as the primary font's empty box.
bool DrawnFromARealGlyph(const QString &text, const QFont &font, char32_t ch) {
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    for (const QGlyphRun &run : layout.glyphRuns()) {
        const QRawFont raw = run.rawFont();
        if (!raw.supportsCharacter(ch)) continue;
        const QList<quint32> glyphs = raw.glyphIndexesForString(QString::fromUcs4(&ch, 1));
        if (!glyphs.isEmpty() && glyphs[0] != 0 && run.glyphIndexes().contains(glyphs[0]))
            return true;
    }
    return false;
}

TEST_F(Polish, FullWidthColonsAreDrawnFromARealGlyph) {
    const char32_t colon = 0xFF1A;
    EXPECT_TRUE(
        DrawnFromARealGlyph(Form1->RadioGroup1->title(), Form1->RadioGroup1->font(), colon));
    EXPECT_TRUE(DrawnFromARealGlyph(Form4->Label1->text(), Form4->Label1->font(), colon));
    // The measured width counts it, so layouts leave room for it.
    const QFontMetrics metrics(Form4->Label1->font());
    EXPECT_GT(metrics.horizontalAdvance(QString::fromUtf8("VERSION：")),
              metrics.horizontalAdvance(QStringLiteral("VERSION")));
}

// Every caption of every window fits its control; push buttons keep room on both sides.
TEST_F(Polish, CaptionsFitTheirControlsInEveryWindow) {
    Choose();
    for (QWidget *window : Windows()) {
        if (window != Form1 && window != Form2) window->show();
        Drain();
        for (QWidget *w : window->findChildren<QWidget *>()) {
            if (!w->isVisible()) continue;
            const QFontMetrics fm(w->font());
            const std::string where = (Name(window) + "/" + Name(w)).toStdString();
            if (auto *label = qobject_cast<QLabel *>(w)) {
                if (label->wordWrap() || label->text().isEmpty()) continue;
                EXPECT_GE(label->contentsRect().width(), fm.horizontalAdvance(label->text()))
                    << where << " " << label->text().toStdString();
            } else if (auto *button = qobject_cast<QPushButton *>(w)) {
                if (button->text().isEmpty()) continue;
                QString shown = button->text();
                shown.remove(QLatin1Char('&'));
                EXPECT_GE(button->width(), fm.horizontalAdvance(shown) + 16)
                    << where << " " << shown.toStdString();
            } else if (auto *check = qobject_cast<QAbstractButton *>(w);
                       check && (qobject_cast<QCheckBox *>(w) || qobject_cast<QRadioButton *>(w))) {
                EXPECT_GE(check->width(), check->sizeHint().width())
                    << where << " " << check->text().toStdString();
            } else if (auto *group = qobject_cast<QGroupBox *>(w)) {
                EXPECT_GE(group->width(), fm.horizontalAdvance(group->title()))
                    << where << " " << group->title().toStdString();
            }
        }
        if (window != Form1 && window != Form2) window->hide();
    }
}

// The box as the program shows it, laid out for the screen.
std::unique_ptr<QMessageBox> Shown(bool question, const QString &caption, const QString &text) {
    auto box = msgbox::build(nullptr, question, caption, text);
    box->show();
    QCoreApplication::processEvents();
    return box;
}

TEST_F(Polish, EveryMessageBoxIsWideEnoughForItsCaption) {
    // The program's name captions the boxes that have no caption of their own.
    const QString program = QStringLiteral("cardtool");
    const QString captions[] = {program,
                                QString::fromStdString(Form1->UiText[82]), // the version box
                                QString::fromLatin1(kHidNotOpen),
                                QString::fromLatin1(kSerialNotOpen),
                                QString::fromLatin1(kRfidNotOpen),
                                QString::fromLatin1(kPcscNotOpen),
                                QString::fromUtf8(kTrailerCaption),
                                QStringLiteral("MSR Configuration")};
    for (const QString &caption : captions)
        for (const QString &text : {QString(), QStringLiteral("x"), QStringLiteral("OK")})
            for (bool question : {false, true}) {
                const auto box = Shown(question, caption, text);
                // Room for the caption and, beside it, a title bar's icon and buttons.
                EXPECT_GE(box->width(), QFontMetrics(box->font()).horizontalAdvance(caption) + 100)
                    << caption.toStdString() << " / " << text.toStdString();
                EXPECT_GE(box->width(), msgbox::titleRoom(caption, box->font()));
                for (QAbstractButton *button : box->buttons())
                    EXPECT_TRUE(button->icon().isNull()) << button->text().toStdString();
            }
    // A caption longer than the screen is wide keeps the box on the screen.
    const QString endless(400, QLatin1Char('W'));
    const auto box = Shown(false, endless, QStringLiteral("x"));
    EXPECT_LE(box->width(), box->screen()->availableGeometry().width());
    // A question's default answer stays No.
    const auto question = Shown(true, captions[2], QString::fromLatin1(kCloseQuestion));
    ASSERT_NE(question->defaultButton(), nullptr);
    EXPECT_EQ(question->standardButton(question->defaultButton()), QMessageBox::No);
}

TEST_F(Polish, AboutBoxOkIsTheDefaultAndEnterOrEscapeCloseIt) {
    Choose();
    // Like the other boxes' OK buttons: no icon.
    EXPECT_TRUE(Form4->BitBtn1->icon().isNull());
    EXPECT_TRUE(Form4->BitBtn1->isDefault());
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        for (QWidget *target : std::initializer_list<QWidget *>{Form4, Form4->BitBtn1}) {
            Form2->About1->trigger();
            ASSERT_TRUE(Form4->isVisible());
            ASSERT_FALSE(Form2->isEnabled());
            EXPECT_EQ(Form4->focusWidget(), Form4->BitBtn1);
            QTest::keyClick(target, Qt::Key(key));
            EXPECT_FALSE(Form4->isVisible()) << key;
            EXPECT_TRUE(Form2->isEnabled()) << key;
        }
    }
    // Other keys leave it open.
    Form2->About1->trigger();
    QTest::keyClick(Form4, Qt::Key_A);
    QTest::keyClick(Form4, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(Form4->isVisible());
    Form4->close();
}

// A mouse button pressed on a picker button, as the user does.
void MouseDown(QWidget *w) {
    const QPointF at(2, 2);
    QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

TEST_F(Polish, AuxiliaryWindowsStayAboveTheConfigurationWindowWithoutBeingItsChildren) {
    Choose();
    struct Aux {
        QWidget *window;
        std::function<void()> open;
    };
    const Aux windows[] = {
        {Form4, [] { Form2->About1->trigger(); }},
        {Form3, [] { Form2->Button[6]->click(); }},
        {Form5, [] { MouseDown(Form2->RadioButton[2]); }},
        {Form6, [] { MouseDown(Form2->RadioButton[1]); }},
        {Form7, [] { Form2->ICCARDTEST1->trigger(); }},
        // The test page without a card route shows the notice and closes itself.
        {Form9,
         [] {
             Form2->CardOnUsb = 0;
             Form2->Button[6]->click();
             Drain();
         }},
    };
    for (const Aux &aux : windows) {
        const std::string name = Name(aux.window).toStdString();
        aux.open();
        ASSERT_TRUE(aux.window->isVisible()) << name;
        ASSERT_NE(aux.window->windowHandle(), nullptr) << name;
        EXPECT_EQ(aux.window->windowHandle()->transientParent(), Form2->windowHandle()) << name;
        EXPECT_EQ(aux.window->windowType(), Qt::Dialog) << name;
        EXPECT_EQ(aux.window->windowModality(), Qt::NonModal) << name;
        // No parent widget: the greyed configuration window leaves it usable, and each
        // window is destroyed once, on its own.
        EXPECT_EQ(aux.window->parentWidget(), nullptr) << name;
        EXPECT_FALSE(Form2->isEnabled()) << name;
        EXPECT_TRUE(aux.window->isEnabled()) << name;
        aux.window->close();
        Drain();
        EXPECT_FALSE(aux.window->isVisible()) << name;
        EXPECT_TRUE(Form2->isEnabled()) << name;
        Form2->CardOnUsb = 1;
    }
    // The configuration window gone, a notice shown on its own is transient for nothing.
    Form2->close();
    Form9->show();
    EXPECT_EQ(Form9->windowHandle()->transientParent(), nullptr);
    Form9->close();
}

QPoint ScreenCentre(const QWidget *w) {
    return w->screen()->availableGeometry().center();
}

TEST_F(Polish, WindowsAreCentredOnTheirFirstShowingAndKeepTheirPlaceAfterwards) {
    // The chooser, shown at start-up.
    EXPECT_LE((Form1->frameGeometry().center() - ScreenCentre(Form1)).manhattanLength(), 1);
    Form1->move(Form1->pos() + QPoint(-37, 23));
    const QPoint chooserPlace = Form1->pos();
    Choose();
    EXPECT_FALSE(Form1->isVisible());
    // The configuration window: centred (as far as the screen lets it be), then where the
    // user moved it. At a fractional scale a place is whole device pixels, so it may come
    // back a logical pixel off, but no further however often the window comes back.
    const QRect screen = Form2->screen()->availableGeometry();
    const QRect frame = Form2->frameGeometry();
    EXPECT_TRUE(screen.contains(frame.topLeft()));
    if (frame.width() <= screen.width()) {
        EXPECT_LE(std::abs(frame.center().x() - screen.center().x()), 1);
    }
    if (frame.height() <= screen.height()) {
        EXPECT_LE(std::abs(frame.center().y() - screen.center().y()), 1);
    }
    Form2->move(Form2->pos() + QPoint(11, 7));
    const QPoint place = Form2->pos();
    for (int again = 0; again < 3; ++again) {
        Form2->close();
        EXPECT_EQ(Form1->pos(), chooserPlace);
        Form1->BitBtn1Click();
        WaitForProbe();
        EXPECT_LE((Form2->pos() - place).manhattanLength(), 1);
    }
    EXPECT_TRUE(Form2->testAttribute(Qt::WA_Moved)); // asked of the window manager too
    // The IC card test comes up over the configuration window, wherever that is, as far
    // as the screen lets it: a side that would leave the screen lies on its edge instead.
    for (const QPoint at : {screen.topLeft() + QPoint(40, 30), screen.topLeft() - QPoint(300, 300),
                            screen.bottomRight() - QPoint(100, 100)}) {
        Form2->move(at);
        Form2->ICCARDTEST1->trigger();
        const QRect aux = Form7->frameGeometry(), owner = Form2->frameGeometry();
        EXPECT_TRUE(screen.contains(aux.topLeft()));
        EXPECT_TRUE(std::abs(aux.center().x() - owner.center().x()) <= 1 ||
                    aux.left() == screen.left() || aux.right() == screen.right());
        EXPECT_TRUE(std::abs(aux.center().y() - owner.center().y()) <= 1 ||
                    aux.top() == screen.top() || aux.bottom() == screen.bottom());
        Form7->close();
    }
    // The about box is centred on the screen.
    Form2->About1->trigger();
    EXPECT_LE((Form4->frameGeometry().center() - ScreenCentre(Form4)).manhattanLength(), 1);
    Form4->close();
}

TEST_F(Polish, WindowsOfAFixedSizeCannotBeResized) {
    EXPECT_EQ(Form1->size(), QSize(478, 250));
    EXPECT_EQ(Form5->size(), QSize(736, 441));
    for (QWidget *w : {static_cast<QWidget *>(Form1), static_cast<QWidget *>(Form3),
                       static_cast<QWidget *>(Form4), static_cast<QWidget *>(Form5),
                       static_cast<QWidget *>(Form6), static_cast<QWidget *>(Form9),
                       static_cast<QWidget *>(Form11)}) {
        EXPECT_EQ(w->minimumSize(), w->maximumSize()) << Name(w).toStdString();
        EXPECT_EQ(w->size(), w->minimumSize()) << Name(w).toStdString();
    }
}

// The controls of a window whose size the user chooses, with their sizes.
std::map<QWidget *, QSize> ControlSizes(QWidget *window) {
    std::map<QWidget *, QSize> sizes;
    for (QWidget *w : window->findChildren<QWidget *>())
        if (w->isVisible() && (qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w) ||
                               qobject_cast<QLineEdit *>(w) || qobject_cast<QGroupBox *>(w) ||
                               qobject_cast<QLabel *>(w)))
            sizes[w] = w->size();
    return sizes;
}

TEST_F(Polish, EnlargedWindowsKeepTheirControlsAtTheirNaturalSize) {
    Choose();
    Form10->show();
    for (QWidget *window : {static_cast<QWidget *>(Form2), static_cast<QWidget *>(Form10)}) {
        // Every page of the configuration window, the iButton page too.
        for (int page : {0, 2}) {
            if (window == Form2) Form2->PageControl1->setCurrentIndex(page);
            Drain();
            const auto natural = ControlSizes(window);
            ASSERT_GT(natural.size(), 10u);
            const QSize before = window->size();
            window->resize(before * 2);
            Drain();
            for (const auto &[w, size] : ControlSizes(window)) {
                if (w->parentWidget() == window->findChild<QStatusBar *>()) continue;
                EXPECT_EQ(w->size(), natural.count(w) ? natural.at(w) : QSize())
                    << Name(window).toStdString() << "/" << Name(w).toStdString() << " " << page;
            }
            window->resize(before);
            Drain();
            if (window != Form2) break;
        }
    }
}

TEST_F(Polish, GreyedChooserDimsItsColouredCaptionsAndButtons) {
    const QImage enabled = Form1->grab().toImage();
    Form1->setEnabled(false);
    const QImage greyed = Form1->grab().toImage();
    Form1->setEnabled(true);
    const auto saturated = [](const QImage &image, const QRect &area) {
        int n = 0;
        const QRect scaled(area.topLeft() * image.devicePixelRatio(),
                           area.size() * image.devicePixelRatio());
        for (int y = scaled.top(); y <= scaled.bottom(); ++y)
            for (int x = scaled.left(); x <= scaled.right(); ++x)
                n += image.pixelColor(x, y).hsvSaturation() > 128;
        return n;
    };
    for (QWidget *w :
         {static_cast<QWidget *>(Form1->RadioButton1), static_cast<QWidget *>(Form1->RadioButton2),
          static_cast<QWidget *>(Form1->RadioButton3), static_cast<QWidget *>(Form1->BitBtn1),
          static_cast<QWidget *>(Form1->BitBtn2)}) {
        const QRect area(w->mapTo(Form1, QPoint(0, 0)), w->size());
        EXPECT_GT(saturated(enabled, area), 40) << Name(w).toStdString();
        EXPECT_EQ(saturated(greyed, area), 0) << Name(w).toStdString();
    }
}

// The region as the screen applies it at a scale: each rectangle's edges rounded to
// device pixels.
QRegion Scaled(const QRegion &region, qreal ratio) {
    QRegion out;
    for (const QRect &r : region) {
        const QPoint topLeft(qRound(r.left() * ratio), qRound(r.top() * ratio));
        const QPoint end(qRound((r.right() + 1) * ratio), qRound((r.bottom() + 1) * ratio));
        out += QRect(topLeft, end - QPoint(1, 1));
    }
    return out;
}

TEST_F(Polish, RoundButtonsAreAntialiasedAndTheirRegionNeverCutsThem) {
    for (TRoundButton *b : {static_cast<TRoundButton *>(Form1->BitBtn1),
                            static_cast<TRoundButton *>(Form1->BitBtn2)}) {
        const QRegion mask = b->mask();
        ASSERT_FALSE(mask.isEmpty());
        for (qreal ratio : {1.0, 1.25, 1.5, 1.75, 2.0}) {
            QImage image(
                QSize(int(std::ceil(b->width() * ratio)), int(std::ceil(b->height() * ratio))),
                QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(ratio);
            image.fill(Qt::transparent);
            b->clearMask();
            b->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
            b->setMask(mask);
            const QRegion kept = Scaled(mask, ratio);
            int cut = 0, soft = 0, painted = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const int alpha = qAlpha(image.pixel(x, y));
                    if (alpha == 0) continue;
                    ++painted;
                    soft += alpha < 255;
                    cut += !kept.contains(QPoint(x, y));
                }
            EXPECT_EQ(cut, 0) << Name(b).toStdString() << " at " << ratio;
            EXPECT_GT(painted, int(3000 * ratio * ratio)) << ratio;
            // Antialiased: the outline is made of partly covered pixels all round.
            EXPECT_GT(soft, int(150 * ratio)) << ratio;
        }
    }
}

TEST(BusyCursor, StacksGivesBackWhatItPutUpAndYieldsToABox) {
    ASSERT_EQ(OverrideCursor(), kNoCursor);
    {
        const TArrowCursor box; // no busy cursor: nothing to do
        EXPECT_EQ(OverrideCursor(), kNoCursor);
    }
    {
        const TBusyCursor busy;
        EXPECT_EQ(OverrideCursor(), kBusyCursor);
        {
            const TArrowCursor box;
            EXPECT_EQ(OverrideCursor(), int(Qt::ArrowCursor));
        }
        EXPECT_EQ(OverrideCursor(), kBusyCursor);
        {
            const TBusyCursor inner;
            EXPECT_EQ(OverrideCursor(), kBusyCursor);
        }
        EXPECT_EQ(OverrideCursor(), kBusyCursor);
    }
    EXPECT_EQ(OverrideCursor(), kNoCursor);

    // A window switched off twice is switched on once; a view that goes while its window
    // is off takes its cursor along.
    QWidget window;
    {
        TBusyWhileDisabled view(&window);
        view.SetEnabled(false);
        view.SetEnabled(false);
        EXPECT_FALSE(window.isEnabled());
        EXPECT_EQ(OverrideCursor(), kBusyCursor);
        view.SetEnabled(true);
        EXPECT_TRUE(window.isEnabled());
        EXPECT_EQ(OverrideCursor(), kNoCursor);
        view.SetEnabled(true);
        EXPECT_EQ(OverrideCursor(), kNoCursor);
        view.SetEnabled(false);
    }
    EXPECT_EQ(OverrideCursor(), kNoCursor);
}

} // namespace

int main(int argc, char **argv) {
    // --scale=F: the screen's scale factor (as a desktop set to F × 100 % gives).
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--scale=", 8) == 0) qputenv("QT_SCALE_FACTOR", argv[i] + 8);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
