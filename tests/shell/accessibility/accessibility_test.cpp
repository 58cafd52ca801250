// What assistive technology and GUI automation see of the windows, offscreen: a name for
// every control that takes the focus or a click, rectangles inside their parent's (open lists
// and menus too), the tab order, the keyboard's way into menus and back from the editors, and
// the look of the editors and the Mifare window.
#include "contactless/ui/TForm10.h"
#include "diagnostics/ui/TForm3.h"
#include "diagnostics/ui/TForm7.h"
#include "keycodes/key_table.h"
#include "keycodes/ui/TForm5.h"
#include "keycodes/ui/TForm6.h"
#include "msr_reader_test.h"
#include "shell/ui/TForm4.h"
#include "shell/ui/TForm8.h"
#include "shell/ui/TForm9.h"
#include "smartcard/ui/TForm11.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <cstring>
#include <functional>

namespace {

std::vector<QWidget *> Windows() {
    return {Form1, Form2, Form3, Form4, Form5, Form6, Form7, Form8, Form9, Form10, Form11};
}

void Drain() {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

bool Is(QAccessibleInterface *node, std::initializer_list<QAccessible::Role> roles) {
    return std::find(roles.begin(), roles.end(), node->role()) != roles.end();
}

// A control the user can focus or click: table content is named by what it holds instead.
bool Actionable(QAccessibleInterface *node) {
    using A = QAccessible;
    if (Is(node, {A::Cell, A::Row, A::ColumnHeader, A::RowHeader})) return false;
    // Also while disabled, when it offers no action.
    if (Is(node, {A::Button, A::CheckBox, A::RadioButton, A::ComboBox, A::MenuItem, A::PageTab,
                  A::SpinBox, A::EditableText}))
        return true;
    const auto *widget = qobject_cast<QWidget *>(node->object());
    // A widget that hands its focus on (a tab widget to its tab bar) is not where it lands.
    if (node->state().focusable && !(widget && widget->focusProxy())) return true;
    const QAccessibleActionInterface *actions = node->actionInterface();
    return actions && actions->actionNames().contains(QAccessibleActionInterface::pressAction());
}

// Its own name, or a label that names it (how a combo box is labelled on this platform).
bool Named(QAccessibleInterface *node) {
    if (!node->text(QAccessible::Name).trimmed().isEmpty()) return true;
    for (const auto &[other, relation] : node->relations(QAccessible::Label))
        if (!other->text(QAccessible::Name).trimmed().isEmpty()) return true;
    return false;
}

QWidget *WindowOf(QAccessibleInterface *node) {
    for (; node; node = node->parent())
        if (auto *w = qobject_cast<QWidget *>(node->object())) return w->window();
    return nullptr;
}

// `inner` within `outer` on one axis; a view that scrolls along it may cut its items there.
bool Within(int innerStart, int innerLength, int outerStart, int outerLength, bool scrolls) {
    const int innerEnd = innerStart + innerLength, outerEnd = outerStart + outerLength;
    return scrolls ? innerStart < outerEnd && innerEnd > outerStart
                   : innerStart >= outerStart && innerEnd <= outerEnd;
}

void Walk(QAccessibleInterface *node, const QString &path, QStringList &problems) {
    const auto *area = qobject_cast<QAbstractScrollArea *>(node->object());
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface *child = node->child(i);
        if (!child || child->state().invisible) continue;
        const QString where = QStringLiteral("%1/%2[%3]")
                                  .arg(path, child->object() ? child->object()->objectName()
                                                             : child->text(QAccessible::Name))
                                  .arg(child->role(), 0, 16);
        if (Actionable(child) && !Named(child)) problems << where + QStringLiteral(": no name");
        const QRect r = child->rect(), outer = node->rect();
        // A popup (an open list, a menu) is a window of its own.
        if (!r.isEmpty() && WindowOf(child) == WindowOf(node) &&
            !(Within(r.x(), r.width(), outer.x(), outer.width(),
                     area && area->horizontalScrollBar()->isVisible()) &&
              Within(r.y(), r.height(), outer.y(), outer.height(),
                     area && area->verticalScrollBar()->isVisible())))
            problems << where + QStringLiteral(": outside its parent");
        Walk(child, where, problems);
    }
}

QStringList Problems(QObject *object) {
    QStringList problems;
    if (QAccessibleInterface *node = QAccessible::queryAccessibleInterface(object))
        Walk(node, object->objectName(), problems);
    return problems;
}

// The window as shown, every open list of it and every menu of its menu bar, each opened as
// a user opens it.
QStringList WindowProblems(QWidget *window) {
    Drain();
    QStringList problems = Problems(window);
    for (QComboBox *combo : window->findChildren<QComboBox *>()) {
        if (!combo->isVisible()) continue;
        combo->showPopup();
        Drain();
        problems << Problems(combo);
        combo->hidePopup();
    }
    for (QMenuBar *bar : window->findChildren<QMenuBar *>())
        for (QAction *action : bar->actions()) {
            bar->setActiveAction(action);
            Drain();
            problems << Problems(action->menu());
            action->menu()->hide();
        }
    return problems;
}

class Accessibility : public MsrReaderTest {
  protected:
    void TearDown() override {
        for (QWidget *w : Windows())
            if (w && w != Form1) w->hide();
        MsrReaderTest::TearDown();
    }
};

// Shows every window in turn, the configuration window once per page the user can reach.
void ForEachWindow(const std::function<void(QWidget *)> &look) {
    for (QWidget *window : Windows()) {
        window->show();
        Drain();
        if (window == Form2) {
            for (int page = 0; page < Form2->PageControl1->count(); ++page)
                if (Form2->PageControl1->isTabVisible(page)) {
                    Form2->PageControl1->setCurrentIndex(page);
                    look(window);
                }
            Form2->PageControl1->setCurrentIndex(0);
        } else {
            look(window);
        }
        if (window != Form1 && window != Form2) window->hide();
    }
}

TEST_F(Accessibility, EveryControlIsNamedAndEveryRectangleLiesInItsParent) {
    Choose();
    // A reader name longer than its list is wide, listed after the list was built.
    Form11->ComboBox1->addItem(QStringLiteral("Virtual reader with a name far longer than the "
                                              "list that shows it 00 00"));
    QStringList problems;
    ForEachWindow([&](QWidget *window) { problems << WindowProblems(window); });
    // The boxes, as the program shows them outside tests.
    for (bool question : {false, true}) {
        const auto box = msgbox::build(Form2, question, QStringLiteral("cardtool"),
                                       QString::fromLatin1(kCloseQuestion));
        box->setObjectName(question ? "question" : "information");
        box->show();
        problems << WindowProblems(box.get());
    }
    EXPECT_TRUE(problems.isEmpty()) << problems.join(QLatin1Char('\n')).toStdString();
}

// Whether `a` is read before `b`, compared as the children of their closest common ancestor
// that hold them: side by side (sharing rows) from left to right, otherwise from the top.
bool ReadBefore(QWidget *a, QWidget *b) {
    for (QWidget *holderA = a; holderA->parentWidget(); holderA = holderA->parentWidget())
        for (QWidget *holderB = b; holderB->parentWidget(); holderB = holderB->parentWidget())
            if (holderA->parentWidget() == holderB->parentWidget()) {
                const QRect ra = holderA->geometry(), rb = holderB->geometry();
                if (ra.top() < rb.bottom() && rb.top() < ra.bottom()) return ra.left() < rb.left();
                return ra.top() < rb.top();
            }
    return false;
}

TEST_F(Accessibility, TabGoesThroughEveryWindowInReadingOrder) {
    Choose();
    ForEachWindow([](QWidget *window) {
        std::vector<QWidget *> chain;
        for (QWidget *w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain())
            if (w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) &&
                !w->focusProxy())
                chain.push_back(w);
        for (size_t i = 0; i < chain.size(); ++i)
            for (size_t j = i + 1; j < chain.size(); ++j)
                EXPECT_FALSE(ReadBefore(chain[j], chain[i]))
                    << window->objectName().toStdString() << ": "
                    << chain[j]->objectName().toStdString() << " after "
                    << chain[i]->objectName().toStdString();
    });
}

TEST_F(Accessibility, KeyPictureAreasArePressableButtonsNamedByTheirCaption) {
    Choose();
    MouseDown(Radio(2)); // the header's Code button
    ASSERT_TRUE(Form5->isVisible());
    for (const TKeyRow &row : kKeyTable) {
        if (row.Label == 0) continue;
        QAccessibleInterface *key = QAccessible::queryAccessibleInterface(Form5->Label[row.Label]);
        EXPECT_EQ(key->role(), QAccessible::Button) << row.Name;
        EXPECT_EQ(key->text(QAccessible::Name), QString::fromLatin1(row.Caption));
        // The description tells keys of one caption apart (the two Shift keys).
        if (std::strcmp(row.Caption, row.Name) != 0) {
            EXPECT_EQ(key->text(QAccessible::Description), QString::fromLatin1(row.Name));
        }
    }
    // Pressed by automation, a key does what a click does: Shift goes down and comes up.
    const TModifierKey *shift = ModifierOfLabel(58);
    for (int label : {shift->DownLabel, shift->UpLabel}) {
        QAccessibleActionInterface *press =
            QAccessible::queryAccessibleInterface(Form5->Label[label])->actionInterface();
        ASSERT_NE(press, nullptr);
        press->doAction(QAccessibleActionInterface::pressAction());
    }
    EXPECT_EQ(Form5->Cell(1, 1) + "," + Form5->Cell(1, 2), "Left Shift Down,Left Shift Up");
    EXPECT_TRUE(Form5->Label[shift->DownLabel]->isVisible());
}

TEST_F(Accessibility, MenusOpenFromTheKeyboardUnderTheirOwnTitles) {
    Choose();
    const auto activate = [] {
        // Offscreen, no window manager gives the window its activation back.
        Form2->activateWindow();
        return QTest::qWaitForWindowActive(Form2);
    };
    // Alt alone takes the keyboard to the first menu's title; Escape leaves.
    ASSERT_TRUE(activate());
    QTest::keyClick(Form2, Qt::Key_Alt);
    EXPECT_EQ(Form2->MainMenu1->activeAction(), Form2->Operations1->menuAction());
    QTest::keyClick(Form2->MainMenu1, Qt::Key_Escape);
    EXPECT_EQ(Form2->MainMenu1->activeAction(), nullptr);
    const std::pair<QKeyCombination, QMenu *> keys[] = {
        {Qt::ALT | Qt::Key_O, Form2->Operations1},
        {Qt::ALT | Qt::Key_H, Form2->Help1},
        {QKeyCombination(Qt::Key_F10), Form2->Operations1}};
    for (const auto &[key, menu] : keys) {
        ASSERT_TRUE(activate());
        QTest::keyClick(Form2, key.key(), key.keyboardModifiers());
        EXPECT_TRUE(menu->isVisible()) << QKeySequence(key).toString().toStdString();
        menu->hide();
    }
    // What the titles show and are read as stays the same.
    QAccessibleInterface *bar = QAccessible::queryAccessibleInterface(Form2->MainMenu1);
    EXPECT_EQ(bar->child(0)->text(QAccessible::Name), "Operations");
    EXPECT_EQ(bar->child(1)->text(QAccessible::Name), "Help");
}

TEST_F(Accessibility, ClosingAnEditorGivesTheFocusBackToTheButtonThatOpenedIt) {
    Choose();
    const std::function<void(QWidget *)> closings[] = {
        [](QWidget *editor) { editor->findChild<QPushButton *>("BitBtn1")->click(); }, // OK
        [](QWidget *editor) { editor->findChild<QPushButton *>("BitBtn2")->click(); }, // Cancel
        [](QWidget *editor) { editor->close(); }};
    for (int radio : {1, 2, 5, 6})
        for (const auto &close : closings) {
            // By the keyboard (the button has the focus) or by the mouse (it does not).
            if (radio % 4 == 1) {
                Radio(radio)->setFocus();
                QTest::keyClick(Radio(radio), Qt::Key_Space);
            } else {
                Form2->Button[1]->setFocus();
                MouseDown(Radio(radio));
            }
            QWidget *editor = radio % 2 ? static_cast<QWidget *>(Form6) : Form5;
            ASSERT_TRUE(editor->isVisible()) << radio;
            close(editor);
            Drain();
            EXPECT_EQ(Form2->focusWidget(), Radio(radio)) << radio;
        }
}

TEST_F(Accessibility, FixedSizeWindowsOfferNoMaximizeButton) {
    for (QWidget *window : Windows()) {
        const Qt::WindowFlags flags = window->windowFlags();
        const bool fixed = window->minimumSize() == window->maximumSize();
        EXPECT_EQ(fixed, !(flags & Qt::WindowMaximizeButtonHint) &&
                             flags.testFlag(Qt::CustomizeWindowHint))
            << window->objectName().toStdString();
        if (fixed) {
            EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
        }
    }
    EXPECT_TRUE(Form1->windowFlags() & Qt::WindowMinimizeButtonHint);
}

TEST_F(Accessibility, KeyNamesFitTheirColumnHeadersStayPlainMifareFieldsLineUp) {
    Choose();
    MouseDown(Radio(2));
    QTableWidget *grid = Form5->StringGrid1;
    Drain();
    for (const TKeyRow &row : kKeyTable) {
        grid->item(0, 1)->setText(QString::fromLatin1(row.Name));
        EXPECT_LE(grid->sizeHintForIndex(grid->model()->index(0, 1)).width(), grid->columnWidth(1))
            << row.Name;
    }
    Form5->PictureClick(58);
    EXPECT_EQ(grid->item(0, 1)->toolTip(), "Left Shift Down");
    // A selected row leaves the headers as they were.
    grid->clearSelection();
    const QImage plain = grid->horizontalHeader()->grab().toImage();
    grid->selectRow(0);
    EXPECT_EQ(grid->horizontalHeader()->grab().toImage(), plain);
    Form5->close();

    Form10->show();
    Drain();
    const int left = Form10->Edit[2]->mapTo(Form10, QPoint()).x();
    for (int e : {3, 4, 5, 6, 7, 8})
        EXPECT_EQ(Form10->Edit[e]->mapTo(Form10, QPoint()).x(), left) << e;
}

} // namespace
