#include "app/StatisticsBox.h"

namespace vardelo {

StatisticsBox::StatisticsBox(QWidget* parent) : QGroupBox(parent) {
    setupUi(this);
}

} // namespace vardelo
