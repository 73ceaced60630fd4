#include "app/LogPage.h"

namespace vardelo {

LogPage::LogPage(QWidget* parent) : QWidget(parent) {
    setupUi(this);
}

} // namespace vardelo
