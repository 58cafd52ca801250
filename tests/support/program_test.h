#pragma once
// What the GUI tests share: a fresh set of windows for every test, message boxes answered
// through the program's seam, and what those boxes said.
#include "shell/ui/forms.h"
#include "shell/ui/message_box.h"
#include "shell/ui/program_exit.h"

#include <QString>
#include <gtest/gtest.h>
#include <vector>

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        msgbox::setTestMode(true);
        msgbox::clearShown();
        msgbox::resetOffThreadCalls();
        ResetProgramEnd();
        CreateForms();
    }
    void TearDown() override {
        DestroyForms();
        msgbox::clearShown();
        // A box asked for from another thread than the window thread is a fault.
        EXPECT_EQ(msgbox::offThreadCalls(), 0);
    }

    // The texts of the boxes shown so far, questions included.
    static std::vector<QString> Texts() {
        std::vector<QString> t;
        for (const auto &s : msgbox::shown())
            t.push_back(s.text);
        return t;
    }
    static int Questions() {
        int n = 0;
        for (const auto &s : msgbox::shown())
            n += s.isQuestion;
        return n;
    }
};
