#pragma once

#include "core/TextGrid.h"

#include <QObject>

namespace vardelo {

// A grid as its readers see it: its rows to read, and a signal after every
// change (once for a batch). The grid's owner changes it; the feed is its
// only listener, so the owner's saving and any number of views hear alike.
class GridFeed final : public QObject, private GridListener {
    Q_OBJECT
  public:
    explicit GridFeed(TextGrid& grid, QObject* parent = nullptr);
    ~GridFeed() override;

    const TextGrid& grid() const { return grid_; }

  Q_SIGNALS:
    void changed();

  private:
    void gridChanged() override { Q_EMIT changed(); }

    TextGrid& grid_;
};

} // namespace vardelo
