#pragma once

#include "platform/Browser.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

namespace vardelo {

// A browser that loads nothing: it records what the window asked of it, and
// a test answers for it by emitting the browser's signals.
class FakeBrowser final : public Browser {
  public:
    ~FakeBrowser() override {
        if (view_ && !view_->parent())
            delete view_;
    }
    QWidget* widget() override { return view_; }
    void navigate(const QString& url) override { navigated.push_back(url); }
    void submitElement(quint64 ticket, const QString&) override { submitTickets.push_back(ticket); }
    void readBodyMarkup(quint64 ticket) override { readTickets.push_back(ticket); }
    void activateElement(quint64 ticket, const QString& selector) override {
        activated.push_back({ticket, selector});
    }
    void readElement(quint64 ticket, const QString& selector, const QString&) override {
        elementReads.push_back({ticket, selector});
    }
    bool isLoading() const override { return loading; }
    QString pageAddress() const override { return address; }
    HttpSession session() const override { return {}; }
    void presetCookies(const QString&, const CookiePairs&) override {}
    void abandonPage() override { ++abandoned; }
    void releasePage() override { ++released; }
    void holdNavigation(NavigationHold hold) override { holds.push_back(hold); }
    // Hidden pages answer as this one does: a test emits their signals.
    Browser* makeHiddenPage(QObject* parent) override {
        auto* page = new FakeBrowser;
        page->setParent(parent);
        hiddenPages.push_back(page);
        return page;
    }

    QStringList navigated;
    QList<quint64> submitTickets;
    QList<quint64> readTickets;
    int abandoned = 0;
    int released = 0;
    QList<QPair<quint64, QString>> activated;
    QList<QPair<quint64, QString>> elementReads;
    QList<NavigationHold> holds;
    QString address;      // what pageAddress() gives
    bool loading = false; // what isLoading() gives
    QList<QPointer<FakeBrowser>> hiddenPages;

  private:
    QPointer<QWidget> view_ = focusableView(); // the window takes it over

    static QWidget* focusableView() {
        auto* view = new QWidget;
        view->setFocusPolicy(Qt::StrongFocus); // as a web view takes focus
        return view;
    }
};

} // namespace vardelo
