#include "TForm5.h"

#include "keycodes/key_table.h"
#include "keycodes/keyboard_hook.h"
#include "link/ui/TForm2.h"
#include "shell/ui/click_area.h"
#include "shell/ui/forms.h"
#include "shell/ui/message_box.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>

namespace {

QString Latin1(const char *text) {
    return QString::fromLatin1(text);
}

// The keyboard picture: the keys' caps on the keyboard's body. The click areas above it
// carry the captions.
class TKeyboardPicture : public QWidget {
  public:
    using QWidget::QWidget;

  protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QColor(0x70, 0x70, 0x70));
        p.setBrush(QColor(0xC8, 0xC8, 0xC4));
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
        for (const TKeyRow &row : kKeyTable) {
            const TModifierKey *m = ModifierOfLabel(row.Label);
            if (row.Label == 0 || (m && m->UpLabel == row.Label)) continue;
            const QRectF cap(row.Left - kPictureLeft + 0.5, row.Top - kPictureTop + 0.5,
                             row.Width - 1, row.Height - 1);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0x88, 0x88, 0x84));
            p.drawRoundedRect(cap.translated(0, 1), 3, 3);
            p.setPen(QColor(0x60, 0x60, 0x60));
            p.setBrush(QColor(0xFA, 0xFA, 0xF6));
            p.drawRoundedRect(cap, 3, 3);
        }
    }
};

QTableWidget *MakeGrid(QWidget *parent, const char *name, int rows, int valueWidth) {
    auto *grid = new QTableWidget(rows, 3, parent);
    grid->setObjectName(name);
    grid->setHorizontalHeaderLabels(
        {QStringLiteral("  "), QStringLiteral("Code"), QStringLiteral("Value")});
    grid->horizontalHeaderItem(0)->setData(Qt::AccessibleTextRole, QStringLiteral("Row"));
    grid->verticalHeader()->setVisible(false);
    grid->verticalHeader()->setDefaultSectionSize(20);
    // The row number takes the width its digits need, the key name all that is left: the
    // longest names ("Right Shift Down") stay whole.
    QHeaderView *header = grid->horizontalHeader();
    header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(1, QHeaderView::Stretch);
    grid->setColumnWidth(2, valueWidth);
    // A selected row leaves the headers as they are.
    header->setHighlightSections(false);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setCornerButtonEnabled(false);
    return grid;
}

void SetCell(QTableWidget *grid, int row, int column, const QString &text) {
    QTableWidgetItem *item = grid->item(row, column);
    if (!item) grid->setItem(row, column, item = new QTableWidgetItem);
    item->setText(text);
    // The whole key name, also where a large font cuts it short.
    if (column == 1) item->setToolTip(text);
}

} // namespace

// Takes the keys of the real keyboard while the editor is shown: every key event of the
// program passes through it first.
class TForm5::TKeyboardHook : public QObject {
  public:
    explicit TKeyboardHook(TForm5 *form) : Form(form) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~TKeyboardHook() override {
        if (QCoreApplication *app = QCoreApplication::instance()) app->removeEventFilter(this);
    }

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        const auto type = event->type();
        if (type != QEvent::KeyPress && type != QEvent::KeyRelease) return false;
        // Only keys going to the editor itself: another window, and the editor's own message
        // box, keep their keyboard.
        const auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget || widget->window() != Form || Form->BoxOpen) return false;
        return Form->HookKeyEvent(event);
    }

  private:
    TForm5 *Form;
};

TForm5::TForm5(QWidget *parent) : QWidget(parent) {
    setObjectName("Form5");
    setWindowTitle(QStringLiteral("KEY CODE"));
    setFixedSize(736, 441);

    GroupBox3 = new QGroupBox(QStringLiteral("KeyBoard"), this);
    GroupBox3->setObjectName("GroupBox3");
    GroupBox3->setGeometry(8, 4, 720, 162);
    BuildKeyboard();

    GroupBox1 = new QGroupBox(QStringLiteral("Mapping Sequence:"), this);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setGeometry(8, 174, 290, 258);
    StringGrid1 = MakeGrid(GroupBox1, "StringGrid1", TKeyGrid::kRows, 90);
    StringGrid1->setGeometry(8, 20, 274, 230);
    Grid1Viewport = StringGrid1->viewport();
    Grid1Viewport->installEventFilter(this);
    StringGrid1->setContextMenuPolicy(Qt::CustomContextMenu);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    Delete1 = PopupMenu1->addAction(QStringLiteral("Delete"));
    Delete1->setObjectName("Delete1");
    ClearAll1 = PopupMenu1->addAction(QStringLiteral("Clear All"));
    ClearAll1->setObjectName("ClearAll1");
    connect(Delete1, &QAction::triggered, this, &TForm5::Delete1Click);
    connect(ClearAll1, &QAction::triggered, this, &TForm5::ClearAll1Click);
    connect(StringGrid1, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        PopupMenu1->popup(StringGrid1->viewport()->mapToGlobal(at));
    });

    Label1 = new QLabel(QStringLiteral("<<"), this);
    Label1->setObjectName("Label1");
    QFont big = Label1->font();
    big.setPointSize(24);
    big.setBold(true);
    Label1->setFont(big);
    QPalette green = Label1->palette();
    green.setColor(QPalette::WindowText, QColor(0x00, 0x80, 0x00));
    Label1->setPalette(green);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setGeometry(300, 276, 58, 44);

    GroupBox2 = new QGroupBox(QStringLiteral("Special Codes:"), this);
    GroupBox2->setObjectName("GroupBox2");
    GroupBox2->setGeometry(360, 174, 290, 258);
    StringGrid2 = MakeGrid(GroupBox2, "StringGrid2", kSpecialCodeCount, 89);
    StringGrid2->setGeometry(8, 20, 274, 230);
    connect(StringGrid2, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { StringGrid2DblClick(row + 1); });

    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(660, 250, 68, 30);
    BitBtn2 = new QPushButton(QStringLiteral("Cancel"), this);
    BitBtn2->setObjectName("BitBtn2");
    BitBtn2->setGeometry(660, 296, 68, 30);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm5::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm5::BitBtn2Click);

    // FormCreate: the special codes.
    for (int r = 0; r < kSpecialCodeCount; ++r) {
        SetCell(StringGrid2, r, 0, QString::number(r + 1));
        SetCell(StringGrid2, r, 1, Latin1(kSpecialCodes[r].Name));
        SetCell(StringGrid2, r, 2, Latin1(kSpecialCodes[r].Code));
    }
    Rows.Reset();
    Sync();
}

TForm5::~TForm5() = default;

void TForm5::BuildKeyboard() {
    Image1 = new TKeyboardPicture(GroupBox3);
    Image1->setObjectName("Image1");
    Image1->setGeometry(kPictureLeft, kPictureTop, kPictureWidth, kPictureHeight);
    QFont small = font();
    small.setPixelSize(9);
    // Keys first, overlays after them, so that a shown overlay lies on top of its key.
    for (const bool overlays : {false, true})
        for (const TKeyRow &row : kKeyTable) {
            const TModifierKey *m = ModifierOfLabel(row.Label);
            if (row.Label == 0 || (m && m->UpLabel == row.Label) != overlays) continue;
            auto *area = new TClickArea(Latin1(row.Caption), GroupBox3);
            area->setObjectName(QStringLiteral("Label%1").arg(row.Label));
            area->setGeometry(row.Left, row.Top, row.Width, row.Height);
            area->setAlignment(Qt::AlignCenter);
            area->setFont(small);
            area->setCursor(Qt::PointingHandCursor);
            // What the key puts into the sequence, where its caption does not say it all.
            if (QString::fromLatin1(row.Name) != area->text())
                area->setAccessibleDescription(Latin1(row.Name));
            if (overlays) {
                // The key held down: grey.
                area->setAutoFillBackground(true);
                QPalette grey = area->palette();
                grey.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
                grey.setColor(QPalette::WindowText, Qt::white);
                area->setPalette(grey);
                area->setVisible(false);
            }
            const int label = row.Label;
            area->OnClick = [this, label] { PictureClick(label); };
            Label[label] = area;
        }
}

QString TForm5::Cell(int column, int row) const {
    if (column < 0 || column > 2 || row < 0 || row > TKeyGrid::kRows) return {};
    if (row == 0) return StringGrid1->horizontalHeaderItem(column)->text();
    const QTableWidgetItem *item = StringGrid1->item(row - 1, column);
    return item ? item->text() : QString();
}

void TForm5::Sync() {
    for (int r = 1; r <= TKeyGrid::kRows; ++r) {
        const TGridRow &row = Rows.Row(r);
        SetCell(StringGrid1, r - 1, 0, QString::number(r));
        SetCell(StringGrid1, r - 1, 1,
                QString::fromLatin1(row.Name.data(), qsizetype(row.Name.size())));
        SetCell(StringGrid1, r - 1, 2,
                QString::fromLatin1(row.Code.data(), qsizetype(row.Code.size())));
    }
    if (Rows.Selected() > 0)
        StringGrid1->selectRow(Rows.Selected() - 1);
    else
        StringGrid1->clearSelection();
}

void TForm5::Message(const char *text) {
    BoxOpen = true;
    msgbox::information(this, Latin1(text));
    BoxOpen = false;
}

bool TForm5::AddKey(const TKeyRow &row) {
    switch (Rows.AddKey(row.Name, row.Code)) {
    case TAddResult::Added:
        Sync();
        return true;
    case TAddResult::Paused:
        Message(kCannotAssignText);
        return false;
    case TAddResult::Full:
        Message(kExceedLimitText);
        return false;
    }
    return false;
}

void TForm5::PictureClick(int label) {
    const TKeyRow *row = KeyByLabel(label);
    if (!row || !AddKey(*row)) return;
    // A modifier key looks held down from its Down row to its Up row.
    if (const TModifierKey *m = ModifierOfLabel(label)) {
        const bool down = label == m->DownLabel;
        Label[m->DownLabel]->setVisible(!down);
        Label[m->UpLabel]->setVisible(down);
    }
}

void TForm5::StringGrid2DblClick(int row) {
    if (row < 1 || row > kSpecialCodeCount) return;
    const TSpecialCode &code = kSpecialCodes[row - 1];
    if (Rows.AddSpecial(code.Name, code.Code) == TAddResult::Full) {
        Message(kExceedLimitText);
        return;
    }
    Sync();
}

void TForm5::Delete1Click() {
    Rows.Delete();
    Sync();
}

void TForm5::ClearAll1Click() {
    Rows.ClearAll();
    Sync();
}

void TForm5::BitBtn1Click() {
    if (Form2) Rows.Store(Form2->MsrSettings, Form2->MsrSettings.EditedSequence);
    close();
}

void TForm5::BitBtn2Click() {
    close();
}

bool TForm5::eventFilter(QObject *watched, QEvent *event) {
    const auto type = event->type();
    if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) &&
        watched == Grid1Viewport) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QModelIndex at = StringGrid1->indexAt(mouse->position().toPoint());
        if (at.isValid()) {
            // A left click moves the insertion point, then any button's press selects the
            // row Delete removes (on a row with a name or a code, the insertion point too).
            if (mouse->button() == Qt::LeftButton) Rows.Click(at.row() + 1);
            Rows.MouseDown(at.column(), at.row() + 1);
            Sync();
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool TForm5::HookKeyEvent(QEvent *event) {
    const auto *key = static_cast<QKeyEvent *>(event);
    const THookAction action = HookKey(KeyOfNativeScanCode(key->nativeScanCode()),
                                       event->type() == QEvent::KeyPress, key->isAutoRepeat());
    if (action.Add) AddKey(*action.Add);
    return action.Swallow;
}

void TForm5::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    // Restoring from minimised is not a new showing.
    if (!event->spontaneous()) FormShow();
}

void TForm5::FormShow() {
    if (!Hook) Hook = std::make_unique<TKeyboardHook>(this);
    if (Form2)
        Rows.Load(Form2->MsrSettings, Form2->MsrSettings.EditedSequence);
    else
        Rows.Reset();
    // No modifier key is left looking held from an earlier showing.
    for (const TModifierKey &m : kModifierKeys) {
        Label[m.DownLabel]->setVisible(true);
        Label[m.UpLabel]->setVisible(false);
    }
    Sync();
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TForm5::RemoveHook() {
    Hook.reset();
}

void TForm5::hideEvent(QHideEvent *event) {
    // The hook lives exactly as long as the window is shown.
    if (!event->spontaneous()) RemoveHook();
    QWidget::hideEvent(event);
}

void TForm5::closeEvent(QCloseEvent *event) {
    event->accept();
    RemoveHook();
    Rows.Reset();
    Sync();
    if (!Form2) return;
    // The configuration window comes back and shows the modes the record now holds.
    Form2->setEnabled(true);
    Form2->Button[7]->click();
}
