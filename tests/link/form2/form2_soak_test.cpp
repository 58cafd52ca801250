// The configuration window against a faulty reader for a few thousand operations: Load, Save,
// Set Default, Version, the modes and reopening, with the user's edits between them and clicks,
// close requests and edits arriving from the message pump while the reader is waited for. The
// choices are seeded (CARDTOOL_SOAK_SEED repeats a run; CARDTOOL_SOAK_OPERATIONS sets its
// length). After every operation:
//   - a Save reported as successful sent exactly the block it meant, left it in the reader,
//     and rests on an answer to the command it sent last, which the reader acted on;
//   - a Load reported as successful, unless it took garbage for its answer (which nothing on
//     the wire tells apart), shows the block the reader holds;
//   - the reader's block is the block before or exactly the one meant, never anything else;
//   - the window is enabled and shown, no auxiliary window is open, every handle opened was
//     closed once;
//   - exactly one box told the outcome, and the status bar names the operation.
#include "form2_fixture.h"

#include "config/mapping.h"
#include "diagnostics/ui/TForm3.h"
#include "keycodes/ui/TForm5.h"
#include "keycodes/ui/TForm6.h"
#include "link/msr_operations.h"
#include "shell/ui/TForm4.h"

#include <QElapsedTimer>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <random>
#include <set>

namespace {

enum class Op { Load, Save, SetDefault, Version, Normal, Test, Reopen };
const char *const kOpNames[] = {"Load",        "Save",      "Set Default", "Version",
                                "Normal Mode", "Test Mode", "Reopen"};

unsigned SeedFromEnvironment() {
    const QByteArray text = qgetenv("CARDTOOL_SOAK_SEED");
    bool ok = false;
    const unsigned seed = text.toUInt(&ok);
    return ok ? seed : std::random_device{}();
}

int OperationsFromEnvironment() {
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("CARDTOOL_SOAK_OPERATIONS", &ok);
    return ok && n > 0 ? n : 3000;
}

class Form2Soak : public Form2Test {
  protected:
    std::mt19937 Rng;
    // What the pump does draws from its own sequence: how often the pump runs depends on
    // timing, and must not shift the choices of the operations.
    std::mt19937 PumpRng;
    std::mt19937 *Draw = &Rng;
    bool InOperation = false;
    int Intrusions = 0;

    int Pick(int n) { return int((*Draw)() % unsigned(n)); }
    bool Chance(int percent) { return Pick(100) < percent; }

    static void SoakPump(void *context) {
        auto *self = static_cast<Form2Soak *>(context);
        self->Draw = &self->PumpRng;
        if (self->InOperation && self->Chance(6)) self->Intrude();
        self->Draw = &self->Rng;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }

    // What may reach the window while it waits: the user's clicks and close requests (the
    // window is disabled), and what would happen if it had been enabled under the operation.
    void Intrude() {
        ++Intrusions;
        switch (Pick(6)) {
        case 0: {
            const int b = 1 + Pick(6);
            QTest::mouseClick(Button(b), Qt::LeftButton);
            break;
        }
        case 1:
            QTest::mouseClick(Radio(1 + Pick(18)), Pick(2) ? Qt::LeftButton : Qt::RightButton);
            break;
        case 2:
            Form2->close();
            W<QAction>("EXIT2")->trigger();
            break;
        case 3:
            W<QAction>(Pick(2) ? "About1" : "Exit1")->trigger();
            Form2->Button6Click();
            break;
        default: {
            // Enabled under the operation: the user edits and starts other operations.
            Form2->setEnabled(true);
            EditControls(1 + Pick(3));
            switch (Pick(6)) {
            case 0:
                Form2->Button1Click();
                break;
            case 1:
                Form2->Button4Click();
                break;
            case 2:
                Form2->Button5Click();
                break;
            case 3:
                Form2->Version1Click();
                break;
            case 4:
                Form2->Button2Click();
                break;
            default:
                W<QAction>("Load1")->trigger();
                break;
            }
            Form2->setEnabled(false);
            break;
        }
        }
    }

    // What the user changes between operations (through the widgets, as a user would).
    void EditControls(int count) {
        static const char kSentinels[] = "%;?!*+QZ09 ";
        static const int kEdits[] = {1, 2, 3, 4, 5, 6, 8, 9, 10, 11};
        for (int i = 0; i < count; ++i) {
            switch (Pick(5)) {
            case 0: {
                // Drawn whatever the field's state, so that the draws stay in step.
                QLineEdit *e = Edit(kEdits[Pick(10)]);
                const char c = kSentinels[Pick(11)];
                if (e->isEnabled()) e->setText(QString(QChar(c)).trimmed());
                break;
            }
            case 1:
                Check(1 + Pick(3))->click();
                break;
            case 2:
                Check(4 + Pick(8))->setChecked(Chance(50));
                break;
            case 3:
                Combo(1)->setCurrentIndex(Pick(6));
                break;
            default:
                if (Chance(50))
                    Combo(3)->setCurrentIndex(Pick(7));
                else
                    Select(4 + Pick(2), Pick(7));
                break;
            }
        }
    }

    // The block a Save (or Set Default) started now is meant to leave in the reader, or
    // nothing when the encoder refuses it.
    std::optional<std::vector<uint8_t>> MeantBlock(bool defaults) {
        auto s = std::make_unique<TMsrSettings>(Form2->MsrSettings);
        TMsrControls c;
        Form2->ReadControls(c);
        if (defaults) {
            ClearLayers(*s);
            DefaultControls(c);
        }
        ::ControlsToRecord(c, *s);
        const int language =
            c.Language >= 0 && c.Language < kListedLanguages ? c.Language : kLanguageUnknown;
        uint8_t frame[1024] = {};
        int length = 0;
        if (EncodeSaveBlock(s->LayerStore, s->LayerModes, language, s->CustomLanguage, frame,
                            length) != kEncodeOk)
            return std::nullopt;
        return std::vector<uint8_t>(frame + 2, frame + length);
    }

    // The operation's messages for a failure's text: command, acted (+/-), whose answer.
    static std::string Fates() {
        std::string text;
        const auto all = Messages();
        for (int i = 0; i < int(all.size()); ++i) {
            char one[32];
            std::snprintf(one, sizeof one, " %02X%c%d",
                          all[size_t(i)].empty() ? 0 : all[size_t(i)][0],
                          vr_message_acted(i) ? '+' : '-', vr_message_answered_by(i));
            text += one;
        }
        return "messages (command, acted, answered by):" + text;
    }

    void Run(Op op) {
        InOperation = true;
        switch (op) {
        case Op::Load:
            Button(1)->click();
            break;
        case Op::Save:
            Button(4)->click();
            break;
        case Op::SetDefault:
            Button(5)->click();
            break;
        case Op::Version:
            W<QAction>("Version1")->trigger();
            break;
        case Op::Normal:
            Button(2)->click();
            break;
        case Op::Test:
            Button(3)->click();
            break;
        case Op::Reopen:
            W<QPushButton>("BitBtn1")->click();
            Choose();
            break;
        }
        InOperation = false;
    }

    // Now and then the user opens the About box or the test page and tries to leave or act
    // while it holds the window.
    void HeldByAuxiliary() {
        QWidget *aux = Chance(50) ? static_cast<QWidget *>(Form4) : Form3;
        if (aux == Form4)
            Form2->About1Click();
        else
            Form2->Button6Click();
        ASSERT_FALSE(Form2->isEnabled());
        const int before = vr_message_count();
        Form2->close();
        QTest::mouseClick(Button(1 + Pick(5)), Qt::LeftButton);
        QTest::mouseClick(Radio(1 + Pick(18)), Qt::LeftButton);
        EXPECT_TRUE(Form2->isVisible());
        EXPECT_EQ(vr_message_count(), before);
        aux->close();
        EXPECT_TRUE(Form2->isEnabled());
    }
};

TEST_F(Form2Soak, FaultyReaderClicksAndCloseRequests) {
    const unsigned seed = SeedFromEnvironment();
    const int operations = OperationsFromEnvironment();
    std::printf("soak seed %u (CARDTOOL_SOAK_SEED=%u repeats the choices), %d operations\n", seed,
                seed, operations);
    std::fflush(stdout);
    SCOPED_TRACE("CARDTOOL_SOAK_SEED=" + std::to_string(seed));
    Rng.seed(seed);
    PumpRng.seed(seed ^ 0x5EEDu);

    Choose();
    ASSERT_EQ(Panel(1), "MSR_INIT SUCCESS");
    ASSERT_NE(Form2->ReaderLink.HID_SetMessagePump, nullptr);
    Form2->ReaderLink.HID_SetMessagePump(&Form2Soak::SoakPump, this);

    // The cheap faults at random; the slow ones (each costs the library's 5 s wait) on a few
    // chosen operations.
    int mix[VR_FAULT_KINDS] = {};
    mix[VR_FAULT_WRONG_STATUS] = 30000;
    mix[VR_FAULT_GARBAGE] = 30000;
    mix[VR_FAULT_STALE] = 20000;
    mix[VR_FAULT_STALE_AFTER] = 20000;
    mix[VR_FAULT_UNPLUG] = 8000;
    mix[VR_FAULT_STALE_SUCCESS] = 20000;
    mix[VR_FAULT_OTHER_ANSWER] = 20000;
    vr_set_fault_mix(seed, mix);
    std::map<int, int> slow;
    for (int fault : {VR_FAULT_LOST, VR_FAULT_LATE, VR_FAULT_LATE_WITHIN})
        for (int k = 0; k < 2; ++k)
            slow[Pick(operations)] = fault;

    const std::set<QString> saveTexts = {
        "\"SAVE \"successful", "Can't find the USBMSR!", kSaveNotKept,
        "Your magcard's mark defined too mand codes in one or more layers"};
    const std::set<QString> loadTexts = {"\"LOAD \"successful", "Can't find the USBMSR!",
                                         "Keycode is default setting!"};
    int counts[7] = {}, successes[7] = {};
    QElapsedTimer clock;
    clock.start();
    int done = 0;
    for (; done < operations && !HasFatalFailure(); ++done) {
        if (Chance(40)) EditControls(1 + Pick(4));
        if (Chance(2)) HeldByAuxiliary();
        const int r = Pick(100);
        const Op op = r < 25   ? Op::Load
                      : r < 55 ? Op::Save
                      : r < 65 ? Op::SetDefault
                      : r < 75 ? Op::Version
                      : r < 85 ? Op::Normal
                      : r < 95 ? Op::Test
                               : Op::Reopen;
        SCOPED_TRACE(std::string("operation ") + std::to_string(done) + ": " + kOpNames[int(op)]);
        if (auto s = slow.find(done); s != slow.end()) vr_fault_next(s->second);

        const bool saving = op == Op::Save || op == Op::SetDefault;
        const auto meant = saving ? MeantBlock(op == Op::SetDefault) : std::nullopt;
        const auto before = ReaderBlock();
        int opened0 = 0, closed0 = 0, opened1 = 0, closed1 = 0;
        vr_handle_counts(&opened0, &closed0);
        msgbox::clearShown();
        vr_clear_log();

        Run(op);
        ++counts[int(op)];

        const auto after = ReaderBlock();
        vr_handle_counts(&opened1, &closed1);
        ASSERT_TRUE(Form2->isVisible());
        ASSERT_TRUE(Form2->isEnabled());
        ASSERT_FALSE(Form1->isVisible());
        for (QWidget *aux : {static_cast<QWidget *>(Form3), static_cast<QWidget *>(Form4),
                             static_cast<QWidget *>(Form5), static_cast<QWidget *>(Form6)})
            ASSERT_FALSE(aux->isVisible()) << aux->objectName().toStdString();
        EXPECT_EQ(opened1 - opened0, closed1 - closed0);
        EXPECT_LE(opened1 - opened0, 1);
        EXPECT_EQ(vr_open_handles(), 0);

        // The message the operation's outcome rests on: its last one.
        const int last = vr_message_count() - 1;
        const auto texts = Texts();
        if (saving) {
            EXPECT_EQ(Panel(0), "SAVE");
            ASSERT_EQ(texts.size(), 1u);
            EXPECT_TRUE(saveTexts.count(texts[0])) << texts[0].toStdString();
            const bool reported = Panel(1) == "SAVE SUCCESS" && texts[0] == "\"SAVE \"successful";
            if (reported) {
                ++successes[int(op)];
                ASSERT_TRUE(meant.has_value());
                ASSERT_EQ(after, *meant) << "success reported for a block the reader lacks";
                std::vector<uint8_t> sent;
                for (const auto &m : Messages())
                    if (m.size() >= 2 && m[0] == 0xAA) sent.assign(m.begin() + 2, m.end());
                ASSERT_EQ(sent, *meant) << "success reported for a block that was not sent";
                ASSERT_GE(last, 0);
                EXPECT_EQ(vr_message_acted(last), 1)
                    << "success rests on a command not acted on; " << Fates();
                EXPECT_EQ(vr_message_answered_by(last), 0)
                    << "success rests on an answer to another command; " << Fates();
            } else {
                EXPECT_EQ(Panel(1), "SAVE ERROR");
            }
            if (meant)
                ASSERT_TRUE(after == before || after == *meant) << "the reader holds a third block";
            else
                ASSERT_EQ(after, before);
        } else {
            ASSERT_EQ(after, before) << "only a Save may change the reader's block";
            const bool loaded = (op == Op::Load && Panel(1) == "LOAD SUCCESS") ||
                                (op == Op::Reopen && Panel(1) == "MSR_INIT SUCCESS");
            if (loaded && last >= 0 && vr_message_answered_by(last) >= 0) {
                ASSERT_EQ(MeantBlock(false), after)
                    << "a Load that took an answer of the reader's shows another block";
            }
            if (op == Op::Load) {
                EXPECT_EQ(Panel(0), "LOAD");
                ASSERT_EQ(texts.size(), 1u);
                EXPECT_TRUE(loadTexts.count(texts[0])) << texts[0].toStdString();
                successes[int(op)] += loaded;
            } else if (op == Op::Reopen) {
                EXPECT_EQ(Panel(0), "MSR_INIT");
                successes[int(op)] += loaded;
            } else {
                EXPECT_EQ(texts.size(), 1u);
                successes[int(op)] += Panel(1).endsWith("SUCCESS");
            }
        }
        // A reader unplugged by a fault usually comes back before the next operation.
        if (Chance(70)) vr_set_present(1);
        // Keep the run near a minute whatever the machine: stop early, never fail on time.
        if (clock.elapsed() > 100000) break;
    }

    std::printf(
        "soak: %d operations (%d messages) in %.1f s, %d intrusions from the pump\n", done,
        vr_faults_injected(VR_FAULT_NONE) +
            [] {
                int n = 0;
                for (int k = 1; k < VR_FAULT_KINDS; ++k)
                    n += vr_faults_injected(k);
                return n;
            }(),
        double(clock.elapsed()) / 1000.0, Intrusions);
    const char *const faultNames[] = {"none",         "lost",          "late",        "late within",
                                      "wrong status", "garbage",       "stale",       "stale after",
                                      "unplug",       "stale success", "other answer"};
    for (int k = 0; k < VR_FAULT_KINDS; ++k)
        std::printf("  fault %-13s %d\n", faultNames[k], vr_faults_injected(k));
    for (int o = 0; o < 7; ++o)
        std::printf("  %-12s %d run, %d succeeded\n", kOpNames[o], counts[o], successes[o]);
    if (done == operations) {
        for (int k = 1; k < VR_FAULT_KINDS; ++k)
            EXPECT_GT(vr_faults_injected(k), 0) << faultNames[k];
    }
    EXPECT_GT(successes[int(Op::Save)], 0);
}

} // namespace
