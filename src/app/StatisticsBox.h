#pragma once

#include "ui_StatisticsBox.h"

#include <QGroupBox>

namespace vardelo {

// "Letöltési statisztika": the all-time and the current run's counters.
class StatisticsBox final : public QGroupBox, public Ui::StatisticsBox {
    Q_OBJECT
  public:
    explicit StatisticsBox(QWidget* parent = nullptr);
};

} // namespace vardelo
