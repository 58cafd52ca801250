#pragma once
// What the test page and IC card GUI tests share: the configuration window chosen from the
// chooser over the virtual reader, its serial front end on demand, and waiting for the
// event loop under a generous bound.
#include "form2_probe.h"
#include "link/ui/TForm2.h"
#include "program_test.h"
#include "reader_log.h"
#include "shell/ui/TForm1.h"
#include "shell/ui/forms.h"
#include "shell/ui/message_box.h"
#include "virtual_reader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QString>
#include <QThread>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

void PrintTo(const QString &s, std::ostream *os);

class ReaderGuiTest : public ProgramTest {
  protected:
    void SetUp() override {
        vr_reset();
        ProgramTest::SetUp();
    }
    void TearDown() override {
        ProgramTest::TearDown(); // the windows go first: the test page joins its thread
        if (serialOpen) vr_serial_close();
        unsetenv("SERIVO_DEVICE");
    }

    // "MSR Device" in the chooser: the configuration window binds and probes the reader.
    void Choose() {
        Form1->RadioButton1->setChecked(true);
        Form1->BitBtn1Click();
        ASSERT_TRUE(Form2->isVisible());
        WaitForProbe();
        ASSERT_TRUE(Form2->ReaderLink.HidBound);
        ASSERT_TRUE(Form2->ReaderLink.SerialBound);
        msgbox::clearShown();
    }
    // The serial library opens the virtual reader's pseudo-terminal.
    void UseSerialLine() {
        const char *path = vr_serial_open();
        ASSERT_NE(path, nullptr);
        serialOpen = true;
        setenv("SERIVO_DEVICE", path, 1);
    }

    // Runs the event loop until `done` holds; false when it did not within 20 s.
    static bool WaitFor(const std::function<bool()> &done, int ms = 20000) {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(1);
        }
        return true;
    }
    // Runs what is queued now (a posted click, queued signals already sent).
    static void Drain() {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }

    bool serialOpen = false;
};
