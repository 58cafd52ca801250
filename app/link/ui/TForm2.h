#pragma once
#include <QWidget>

// Placeholder until this window is built.
class TForm2 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm2(QWidget *parent = nullptr);
};
