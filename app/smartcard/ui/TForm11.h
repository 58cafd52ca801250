#pragma once
#include <QWidget>

// Placeholder until this window is built.
class TForm11 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm11(QWidget *parent = nullptr);
};
