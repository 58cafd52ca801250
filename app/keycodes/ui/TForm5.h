#pragma once
#include "keycodes/key_grid.h"

#include <QWidget>
#include <memory>

class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QTableWidget;
struct TKeyRow;

// "KEY CODE": the key code editor of the sequence the configuration window's record names
// in EditedSequence. Keys come from the keyboard picture, the real keyboard (while the
// window is shown) and the list of special codes; OK writes them into the record.
class TForm5 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm5(QWidget *parent = nullptr);
    ~TForm5() override;

    // The common insertion of picture clicks and the keyboard; false when it was refused
    // (the box saying why has been shown).
    bool AddKey(const TKeyRow &row);
    // A click on the picture's area LabelN.
    void PictureClick(int label);
    // The text of StringGrid1's cell; row 0 is the header row.
    QString Cell(int column, int row) const;
    const TKeyGrid &Grid() const { return Rows; }
    bool HookInstalled() const { return Hook != nullptr; }

  public slots:
    void BitBtn1Click(); // OK
    void BitBtn2Click(); // Cancel
    void Delete1Click();
    void ClearAll1Click();
    void StringGrid2DblClick(int row);

  protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    class TKeyboardHook;
    friend class TKeyboardHook;

    void FormShow();
    void BuildKeyboard();
    void Sync();
    void Message(const char *text);
    void RemoveHook();
    // The key event of a widget of this window, seen by the hook: true swallows it.
    bool HookKeyEvent(QEvent *event);

    TKeyGrid Rows;
    std::unique_ptr<TKeyboardHook> Hook;
    bool BoxOpen = false;             // the editor's own message box is shown
    QWidget *Grid1Viewport = nullptr; // where StringGrid1's mouse presses arrive

  public:
    QGroupBox *GroupBox1 = nullptr, *GroupBox2 = nullptr, *GroupBox3 = nullptr;
    QTableWidget *StringGrid1 = nullptr, *StringGrid2 = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *Delete1 = nullptr, *ClearAll1 = nullptr;
    QPushButton *BitBtn1 = nullptr, *BitBtn2 = nullptr;
    QWidget *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label[119] = {}; // the picture's click areas Label2 ... Label118
};
