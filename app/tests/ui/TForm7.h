#pragma once
#include <QWidget>

// Placeholder until this window is built.
class TForm7 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm7(QWidget *parent = nullptr);
};
