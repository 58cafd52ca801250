#pragma once
#include <QWidget>

// Placeholder until this window is built.
class TForm3 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm3(QWidget *parent = nullptr);
};
