#pragma once
// What the configuration window's end-to-end tests share, whatever reader is behind the
// library: the window chosen from the chooser, its controls by name, blocks as the reader
// stores them.
#include "config/codec.h"
#include "config/msr_settings.h"
#include "config/ui/TUpDown.h"
#include "form2_probe.h"
#include "keycodes/languages.h"
#include "link/ui/TForm2.h"
#include "program_test.h"
#include "shell/ui/TForm1.h"
#include "shell/ui/forms.h"
#include "shell/ui/message_box.h"
#include "shell/ui/program_exit.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Readable failures.
inline void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

// The 18 option bytes, in the order of the options record.
enum Opt {
    T1S,
    T1E,
    T2S,
    T2E,
    T3S,
    T3E,
    Flags,
    Order0,
    Order1,
    Order2,
    AttSel,
    AttLen,
    RemSel,
    RemLen,
    IbS,
    IbE,
    JisS,
    JisE
};

using Options = std::array<uint8_t, 18>;
constexpr Options kFactory = {'%', '?',  ';',  '?',  ';',  '?', 0x39, '5', '6',
                              '7', 0x00, 0x1F, 0x00, 0x1F, '!', '?',  '*', '?'};

// A configuration block as the reader stores it, made by the program's own encoder.
inline std::vector<uint8_t> Block(const Options &options, int language = 0,
                                  const uint8_t *custom = nullptr,
                                  const std::function<void(TMsrSettings &)> &layers = {}) {
    auto s = std::make_unique<TMsrSettings>();
    std::memset(s.get(), 0, sizeof *s);
    for (int k = 0; k < 18; ++k)
        s->Layer1(layer1::kOptionOffsets[k]) = options[k];
    if (custom) std::memcpy(s->CustomLanguage, custom, 256);
    if (layers) layers(*s);
    uint8_t frame[1024] = {};
    int length = 0;
    EXPECT_EQ(
        EncodeSaveBlock(s->LayerStore, s->LayerModes, language, s->CustomLanguage, frame, length),
        0);
    return {frame + 2, frame + length};
}

// Option k of a stored block (the options record comes first: tag, length, options).
inline uint8_t Option(const std::vector<uint8_t> &block, int k) {
    return block.at(2 + size_t(k));
}

// A mouse button pressed on a widget (also one on a page that is not shown).
inline void MouseDown(QWidget *w, Qt::MouseButton button) {
    const QPointF at(2, 2);
    QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), button, button,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

inline QWidget *TopLevel(const char *name) {
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(name)) return w;
    return nullptr;
}

class Form2Window : public ProgramTest {
  protected:
    // Choosing "MSR Device" in the chooser shows the configuration window.
    void Choose() {
        Form1->RadioButton1->setChecked(true);
        Form1->BitBtn1Click();
        ASSERT_TRUE(Form2->isVisible());
        WaitForProbe();
    }
    void Reopen() {
        Form2->findChild<QPushButton *>("BitBtn1")->click();
        ASSERT_FALSE(Form2->isVisible());
        Choose();
    }

    template <typename T> T *W(const char *name) {
        T *w = Form2->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QLineEdit *Edit(int n) { return W<QLineEdit>(("Edit" + std::to_string(n)).c_str()); }
    QCheckBox *Check(int n) { return W<QCheckBox>(("CheckBox" + std::to_string(n)).c_str()); }
    QComboBox *Combo(int n) { return W<QComboBox>(("ComboBox" + std::to_string(n)).c_str()); }
    QRadioButton *Radio(int n) {
        return W<QRadioButton>(("RadioButton" + std::to_string(n)).c_str());
    }
    QPushButton *Button(int n) { return W<QPushButton>(("Button" + std::to_string(n)).c_str()); }
    QString Panel(int i) {
        return W<QLabel>(i == 0 ? "StatusBar1Panel0" : "StatusBar1Panel1")->text();
    }
    void Select(int combo, int index) {
        Combo(combo)->setCurrentIndex(index);
        emit Combo(combo)->activated(index);
    }
    bool RecordCleared() {
        const TMsrSettings &s = Form2->MsrSettings;
        for (const auto &layer : s.LayerStore)
            for (uint8_t b : layer)
                if (b) return false;
        for (int32_t m : s.LayerModes)
            if (m) return false;
        return true;
    }
    void Dirty() {
        Form2->MsrSettings.LayerStore[3][0] = 0x1C;
        Form2->MsrSettings.LayerModes[3] = kModeCode;
        Form2->MsrSettings.LayerStore[1][0] = 'x';
    }
};
