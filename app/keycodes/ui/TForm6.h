#pragma once
#include <QWidget>

// Placeholder until this window is built.
class TForm6 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm6(QWidget *parent = nullptr);
};
