#pragma once
#include <QWidget>

// Placeholder until this window is built.
class TForm10 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm10(QWidget *parent = nullptr);
};
