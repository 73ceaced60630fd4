#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace vardelo {

// The embedded web browser as the download cycle needs it. Completions and
// script answers arrive later, on the user-interface thread; every script
// request carries a ticket that its answer returns, so the caller can drop
// answers that belong to an attempt it has abandoned. Every request is
// answered exactly once.
class Browser : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    virtual QWidget* widget() = 0;
    virtual void navigate(const QString& url) = 0;
    // Submits the form with this element id; answers elementSubmitted.
    virtual void submitElement(quint64 ticket, const QString& id) = 0;
    // Reads the current page's body markup; answers bodyMarkupRead.
    virtual void readBodyMarkup(quint64 ticket) = 0;
    // Ends the current page, however hung its script; the next navigation
    // gets a page that works.
    virtual void abandonPage() = 0;

  Q_SIGNALS:
    // A top-level document finished loading: ok is false for a failed load
    // (an error page); a load replaced by another navigation reports nothing.
    // Frames report nothing: a frame that completed before its page would
    // have the form submitted, or the wait page read, before they exist.
    void documentComplete(bool ok);
    void elementSubmitted(quint64 ticket, bool submitted);
    void bodyMarkupRead(quint64 ticket, bool ok, const QString& markup);
};

} // namespace vardelo
