#pragma once

#include "ui_LogPage.h"

#include <QWidget>

namespace vardelo {

// The "Naplózás" page: the log grid and its two commands.
class LogPage final : public QWidget, public Ui::LogPage {
    Q_OBJECT
  public:
    explicit LogPage(QWidget* parent = nullptr);
};

} // namespace vardelo
