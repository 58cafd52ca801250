#include "diagnostics/ui/ic_view.h"

#include "shell/ui/message_box.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>

namespace {
constexpr int kApduEntryLength = 1024;

// The reader's trace and texts are single-byte characters.
QString Text(const std::string &text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

void ScrollToEnd(QPlainTextEdit *memo) {
    memo->moveCursor(QTextCursor::End);
    memo->verticalScrollBar()->setValue(memo->verticalScrollBar()->maximum());
}
} // namespace

void TIcView::SetEnabled(bool enabled) {
    Busy.SetEnabled(enabled);
}

void TIcView::Message(const std::string &text) {
    msgbox::information(Window, Text(text));
}

void TIcView::SetTranscript(const std::string &text) {
    Transcript->setPlainText(Text(text));
    ScrollToEnd(Transcript);
}

void TIcView::AppendTranscript(const std::string &text) {
    Transcript->moveCursor(QTextCursor::End);
    Transcript->insertPlainText(Text(text));
    ScrollToEnd(Transcript);
}

void TIcView::SetReply(const std::string &text) {
    if (Reply) Reply->setPlainText(Text(text));
}

QValidator::State TApduValidator::validate(QString &input, int &) const {
    for (QChar &c : input) {
        const char filtered = c.unicode() < 0x80 ? ApduKeyFilter(char(c.unicode())) : 0;
        if (filtered == 0 || filtered == 8) return Invalid;
        c = QLatin1Char(filtered);
    }
    return Acceptable;
}

void MakeApduEntry(QLineEdit *edit) {
    edit->setMaxLength(kApduEntryLength);
    edit->setValidator(new TApduValidator(edit));
}

std::vector<uint8_t> ApduOf(const QLineEdit *edit) {
    return ApduTextToBytes(edit->text().toStdString());
}
