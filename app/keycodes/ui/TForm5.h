#pragma once
#include <QWidget>

// Placeholder until this window is built.
class TForm5 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm5(QWidget *parent = nullptr);
};
