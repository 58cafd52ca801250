#include "shell/ui/accessibility.h"

#include <QAbstractItemDelegate>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QProxyStyle>
#include <QShortcut>
#include <QStyleFactory>
#include <algorithm>

namespace {

struct TControlText {
    const char *Window, *Control;
    const char *Name, *Description;
};

const char *const kStepsTheNumber = "Up and Down step the number beside it";

// The controls that no caption or label names: a picture button, a memo or a grid under a
// group title, an entry beside its button.
const TControlText kControlTexts[] = {
    {"Form1", "BitBtn1", "Go", "Opens the window of the chosen device"},
    {"Form1", "BitBtn2", "Exit", "Ends the program"},
    {"Form2", "UpDown1", "Extract From", kStepsTheNumber},
    {"Form2", "UpDown2", "Length", kStepsTheNumber},
    {"Form2", "UpDown3", "Extract From", kStepsTheNumber},
    {"Form2", "UpDown4", "Length", kStepsTheNumber},
    {"Form3", "Memo1", "Card data", "What the reader types when a card is swiped"},
    {"Form5", "StringGrid1", "Mapping Sequence", "The keys of the sequence, in order"},
    {"Form5", "StringGrid2", "Special Codes", "Double-click a code to add it to the sequence"},
    {"Form10", "Edit1", "Serial number", "The serial number of the card found"},
    {"Form10", "Edit9", "Amount bytes", "The amount as four bytes, least significant first"},
    {"Form11", "Edit1", "APDU", "The command to send, in hexadecimal"},
};

void NameControls(QWidget *window) {
    for (const TControlText &t : kControlTexts) {
        if (window->objectName() != QLatin1String(t.Window)) continue;
        QWidget *control = window->findChild<QWidget *>(QLatin1String(t.Control));
        if (!control) continue;
        control->setAccessibleName(QString::fromUtf8(t.Name));
        control->setAccessibleDescription(QString::fromUtf8(t.Description));
    }
}

// The text of the label that names `control`, without its access key and colon.
QString LabelText(const QWidget *control) {
    for (const QLabel *label : control->window()->findChildren<QLabel *>()) {
        if (label->buddy() != control) continue;
        QString text = label->text();
        text.remove(QLatin1Char('&'));
        text = text.trimmed();
        while (text.endsWith(QLatin1Char(':')) || text.endsWith(QChar(0xFF1A)))
            text.chop(1);
        return text.trimmed();
    }
    return control->accessibleName();
}

// Sizes an item by its contents alone. A menu-like list sizes an item from the rectangle it is
// given, which is as wide as the list: every item came out wider than the list, and so did the
// rectangle that assistive technology reports for it.
class TNaturalSizeDelegate : public QAbstractItemDelegate {
  public:
    TNaturalSizeDelegate(QAbstractItemDelegate *inner, QObject *parent)
        : QAbstractItemDelegate(parent), Inner(inner) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override {
        if (Inner) Inner->paint(painter, option, index);
    }
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override {
        QStyleOptionViewItem natural(option);
        natural.rect = QRect();
        return Inner ? Inner->sizeHint(natural, index) : QSize();
    }
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override {
        return Inner && Inner->editorEvent(event, model, option, index);
    }
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override {
        return Inner && Inner->helpEvent(event, view, option, index);
    }

  private:
    QPointer<QAbstractItemDelegate> Inner; // the combo box's own, kept by its list
};

// Keeps the list's minimum width at its widest item's.
class TListWidth : public QObject {
  public:
    explicit TListWidth(QComboBox *combo) : QObject(combo), Combo(combo) {
        QAbstractItemModel *model = combo->model();
        for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
            connect(model, signal, this, &TListWidth::Update);
        connect(model, &QAbstractItemModel::modelReset, this, &TListWidth::Update);
        connect(model, &QAbstractItemModel::dataChanged, this, &TListWidth::Update);
        connect(model, &QAbstractItemModel::layoutChanged, this, &TListWidth::Update);
        Update();
    }

  private:
    void Update() {
        QAbstractItemView *view = Combo->view();
        int width = view->sizeHintForColumn(Combo->modelColumn()) + 2 * view->frameWidth();
        // A list shown as a menu shows every item; another scrolls past its visible items.
        const bool asMenu = !Combo->isEditable() &&
                            Combo->style()->styleHint(QStyle::SH_ComboBox_Popup, nullptr, Combo);
        if (!asMenu && Combo->count() > Combo->maxVisibleItems())
            width += view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
        view->setMinimumWidth(std::max(width, 0));
    }
    QComboBox *Combo;
};

class TAltKeyStyle : public QProxyStyle {
  public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *data) const override {
        if (hint == SH_MenuBar_AltKeyNavigation) return 1;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

// The program's style, but with the menu bar reached by Alt alone.
QStyle *AltKeyStyle() {
    static QPointer<QStyle> style;
    if (!style) {
        style = new TAltKeyStyle(QStyleFactory::create(QApplication::style()->name()));
        style->setParent(QCoreApplication::instance());
    }
    return style;
}

class TFocusReturn : public QObject {
  public:
    TFocusReturn(QWidget *window, QWidget *opener) : QObject(window), Opener(opener) {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject *watched, QEvent *event) override {
        // Minimised is not closed.
        if (watched != parent() || event->type() != QEvent::Hide || event->spontaneous())
            return false;
        if (Opener && Opener->isVisible() && Opener->isEnabled()) {
            Opener->setFocus(Qt::OtherFocusReason);
            Opener->activateWindow();
        }
        deleteLater();
        static_cast<QWidget *>(parent())->removeEventFilter(this);
        return false;
    }

  private:
    QPointer<QWidget> Opener;
};

} // namespace

void FitListToItems(QComboBox *combo) {
    combo->setItemDelegate(new TNaturalSizeDelegate(combo->itemDelegate(), combo));
    new TListWidth(combo);
    combo->view()->setAccessibleName(LabelText(combo));
}

void OpenMenusFromKeyboard(QMenuBar *bar) {
    bar->setStyle(AltKeyStyle());
    // F10 opens the first menu.
    auto *f10 = new QShortcut(QKeySequence(Qt::Key_F10), bar);
    QObject::connect(f10, &QShortcut::activated, bar, [bar] {
        for (QAction *action : bar->actions())
            if (action->menu() && action->isVisible() && action->isEnabled()) {
                bar->setActiveAction(action);
                return;
            }
    });
}

void ReturnFocusOnHide(QWidget *window, QWidget *opener) {
    if (window && opener) new TFocusReturn(window, opener);
}

void MakeAccessible(QWidget *window) {
    NameControls(window);
    for (QComboBox *combo : window->findChildren<QComboBox *>()) {
        FitListToItems(combo);
        // An entry in a list is named as the list.
        if (QLineEdit *edit = combo->lineEdit()) edit->setAccessibleName(LabelText(combo));
    }
    for (QMenuBar *bar : window->findChildren<QMenuBar *>())
        OpenMenusFromKeyboard(bar);
    if (window->minimumSize() == window->maximumSize()) {
        // A window of fixed size offers no maximize button that would do nothing.
        Qt::WindowFlags flags = window->windowFlags() | Qt::CustomizeWindowHint |
                                Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                Qt::WindowCloseButtonHint;
        if (window->windowType() == Qt::Window) flags |= Qt::WindowMinimizeButtonHint;
        window->setWindowFlags(flags & ~Qt::WindowMaximizeButtonHint);
    }
}
