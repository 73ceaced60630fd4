#include "session/GridFeed.h"

namespace vardelo {

GridFeed::GridFeed(TextGrid& grid, QObject* parent) : QObject(parent), grid_(grid) {
    grid_.setListener(this);
}

GridFeed::~GridFeed() {
    grid_.setListener(nullptr);
}

} // namespace vardelo
