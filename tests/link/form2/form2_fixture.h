#pragma once
// What the configuration window's end-to-end tests against the virtual reader share: the
// window's helpers, and readers of what the virtual reader received.
#include "form2_window.h"
#include "reader_log.h"
#include "virtual_reader.h"

class Form2Test : public Form2Window {
  protected:
    void SetUp() override {
        vr_reset();
        Form2Window::SetUp();
    }

    // A reader that takes every message and never answers, failing at once.
    void Silence() {
        vr_set_silent(1);
        vr_set_fail_when_empty(1);
    }
};
