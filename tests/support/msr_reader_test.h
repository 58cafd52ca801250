#pragma once
// What the GUI tests of the configuration window and its editors share: the configuration
// window chosen in the chooser against the virtual reader, file dialogs and message boxes
// answered through their seams, and the reader's side looked at through its control API.
#include "config/codec.h"
#include "config/msr_settings.h"
#include "form2_probe.h"
#include "link/ui/TForm2.h"
#include "program_test.h"
#include "reader_log.h"
#include "shell/ui/TForm1.h"
#include "shell/ui/file_dialog.h"
#include "virtual_reader.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

inline void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

class MsrReaderTest : public ProgramTest {
  protected:
    void SetUp() override {
        vr_reset();
        filedlg::setTestMode(true);
        filedlg::clearShown();
        ProgramTest::SetUp();
    }
    void TearDown() override {
        msgbox::setWhileShown({});
        ProgramTest::TearDown();
        filedlg::setNextPath({});
        filedlg::clearShown();
    }

    // Choosing "MSR Device" shows the configuration window, which probes the reader.
    void Choose() {
        Form1->RadioButton1->setChecked(true);
        Form1->BitBtn1Click();
        ASSERT_TRUE(Form2->isVisible());
        WaitForProbe();
        msgbox::clearShown();
    }

    template <typename T> static T *W(QObject *parent, const QString &name) {
        T *w = parent->findChild<T *>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    template <typename T> static T *F2(const char *kind, int n) {
        return W<T>(Form2, QStringLiteral("%1%2").arg(kind).arg(n));
    }
    static QRadioButton *Radio(int n) { return F2<QRadioButton>("RadioButton", n); }
    static QPushButton *Button(int n) { return F2<QPushButton>("Button", n); }
    static QComboBox *Combo(int n) { return F2<QComboBox>("ComboBox", n); }
    // A list item chosen by the user.
    static void Select(int combo, int index) {
        Combo(combo)->setCurrentIndex(index);
        emit Combo(combo)->activated(index);
    }
    static QString Panel(int i) {
        return W<QLabel>(Form2, QStringLiteral("StatusBar1Panel%1").arg(i))->text();
    }

    // A mouse button pressed on a widget, as a user does on a picker button.
    static void MouseDown(QWidget *w, Qt::MouseButton button = Qt::LeftButton) {
        const QPointF at(2, 2);
        QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), button, button,
                          Qt::NoModifier);
        QApplication::sendEvent(w, &press);
    }

    // A configuration block as the reader stores it, made by the program's own encoder from
    // the factory options and what `layers` puts into the record.
    static std::vector<uint8_t> Block(int language = 0, const uint8_t *custom = nullptr,
                                      const std::function<void(TMsrSettings &)> &layers = {}) {
        static const uint8_t kFactory[18] = {'%', '?', ';',  '?', ';',  '?', 0x39, '5', '6',
                                             '7', 0,   0x1F, 0,   0x1F, '!', '?',  '*', '?'};
        auto s = std::make_unique<TMsrSettings>();
        std::memset(s.get(), 0, sizeof *s);
        for (int k = 0; k < 18; ++k)
            s->Layer1(layer1::kOptionOffsets[k]) = kFactory[k];
        if (custom) std::memcpy(s->CustomLanguage, custom, 256);
        if (layers) layers(*s);
        uint8_t frame[1024] = {};
        int length = 0;
        EXPECT_EQ(EncodeSaveBlock(s->LayerStore, s->LayerModes, language, s->CustomLanguage, frame,
                                  length),
                  0);
        return {frame + 2, frame + length};
    }
    // The layer records of a block: what follows the options and language records.
    static std::vector<uint8_t> LayerRecords(const std::vector<uint8_t> &block) {
        if (block.size() < size_t(kFixedBlockBytes)) return {};
        return {block.begin() + kFixedBlockBytes, block.end()};
    }
    static int SaveFrames() {
        int n = 0;
        for (int i = 0; i < vr_message_count(); ++i) {
            uint8_t m[4096];
            n += vr_message(i, m, int(sizeof m)) > 0 && m[0] == 0xAA;
        }
        return n;
    }
};
