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

// Table content is named by what it holds, an empty cell by its row and column.
bool TableContent(QAccessibleInterface *node) {
    return Is(node, {QAccessible::Cell, QAccessible::Row, QAccessible::ColumnHeader,
                     QAccessible::RowHeader});
}

bool Actionable(QAccessibleInterface *node) {
    const auto *widget = qobject_cast<QWidget *>(node->object());
    // A widget that hands its focus on (a tab widget to its tab bar) is not where it lands.
    if (node->state().focusable && !(widget && widget->focusProxy())) return true;
    const QAccessibleActionInterface *actions = node->actionInterface();
    if (!actions) return false;
    const QStringList names = actions->actionNames();
    return names.contains(QAccessibleActionInterface::pressAction()) ||
           names.contains(QAccessibleActionInterface::toggleAction()) ||
           names.contains(QAccessibleActionInterface::showMenuAction());
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
        const QString where = path + QLatin1Char('/') +
                              (child->object() && !child->object()->objectName().isEmpty()
                                   ? child->object()->objectName()
                                   : child->text(QAccessible::Name)) +
                              QStringLiteral("[%1]").arg(child->role(), 0, 16);
        if (Actionable(child) && !TableContent(child) && !Named(child))
            problems << where + QStringLiteral(": no name");
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

TEST_F(Accessibility, EveryControlIsNamedAndEveryRectangleLiesInItsParent) {
    Choose();
    QStringList problems;
    for (QWidget *window : Windows()) {
        window->show();
        if (window == Form2) {
            // Every page the user can reach.
            for (int page = 0; page < Form2->PageControl1->count(); ++page)
                if (Form2->PageControl1->isTabVisible(page)) {
                    Form2->PageControl1->setCurrentIndex(page);
                    problems << WindowProblems(window);
                }
            Form2->PageControl1->setCurrentIndex(0);
        } else {
            problems << WindowProblems(window);
        }
        if (window != Form1 && window != Form2) window->hide();
    }
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

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
