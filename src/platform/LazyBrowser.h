#pragma once

#include "platform/Browser.h"

#include <QPointer>

#include <functional>
#include <utility>
#include <vector>

namespace vardelo {

// The browser the program hands its window. At start-up it is a light
// holder; the engine is a module of its own, loaded at the first need (a
// page to load, or the "Weblap" page looked at), so that neither its
// libraries nor its OpenGL context load with the program. An engine that
// cannot start answers every request as failed, says why in the
// diagnostics log and tells the window (cannotStart) at every request.
class LazyBrowser final : public Browser {
    Q_OBJECT
  public:
    // Makes the engine; nullptr with the reason when it cannot.
    using Factory = std::function<Browser*(QObject* parent, QString* failure)>;

    explicit LazyBrowser(Factory factory = loadEngineModule, QObject* parent = nullptr);
    ~LazyBrowser() override;

    QWidget* widget() override;
    void navigate(const QString& url) override;
    void submitElement(quint64 ticket, const QString& id) override;
    void readBodyMarkup(quint64 ticket) override;
    void activateElement(quint64 ticket, const QString& selector) override;
    void readElement(quint64 ticket, const QString& selector, const QString& attribute) override;
    bool isLoading() const override;
    void readEntries(quint64 ticket, const EntryQuery& query) override;
    void fillField(quint64 ticket, const QString& selector, const QString& value) override;
    QString pageAddress() const override;
    HttpSession session() const override;
    void presetCookies(const QString& url, const CookiePairs& cookies) override;
    void abandonPage() override;
    void releasePage() override;
    void holdNavigation(NavigationHold hold) override;
    Browser* makeHiddenPage(QObject* parent) override;

    bool started() const { return engine_ != nullptr; }

    // The engine module beside the program, or where an installed one lies.
    static Browser* loadEngineModule(QObject* parent, QString* failure);
    // The first of these folders' modules that loads; the failure names each
    // file looked at with the loader's reason.
    static Browser* loadEngineModuleFrom(const QStringList& folders, QObject* parent,
                                         QString* failure);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    Browser* engine();
    // The engine or, when it cannot start, nothing and the reason told.
    Browser* engineForRequest();

    Factory factory_;
    QPointer<QWidget> holder_; // the window takes it over
    Browser* engine_ = nullptr;
    bool failed_ = false; // tried once and could not: not tried again
    QString failure_;
    // Cookies asked for before the engine ran: the next navigation's engine
    // takes them first.
    std::vector<std::pair<QString, CookiePairs>> pendingCookies_;
};

} // namespace vardelo
