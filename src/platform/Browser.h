#pragma once

#include "core/FormPost.h"
#include "platform/HttpSession.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <string>
#include <utility>
#include <vector>

class QWidget;

namespace vardelo {

// What a held page may not do by itself (see Browser::holdNavigation).
enum class NavigationHold {
    Off,
    // Follow a link, a redirect or a script's navigation, or send a form
    // that activateElement submits by GET.
    Moves,
    // The same, and send a form that activateElement submits by POST: the
    // walk's last step, whose answer can only be the file.
    MovesAndPostForm
};

// A move the page was kept from making: where it was going, and for a
// form it would have sent by POST, that form, or that its fields could not
// be read as the page would have sent them.
struct HeldNavigation {
    enum class Kind { Address, FormPost, UnreadableForm };
    QString url;
    Kind kind = Kind::Address;
    FormPost form; // of a FormPost
};

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
    // Host profiles' steps. The selector and the attribute reach the page as
    // data. Activates the first element the selector finds: a form is
    // submitted, anything else clicked; answers elementSubmitted (false when
    // nothing matches).
    virtual void activateElement(quint64 ticket, const QString& selector) = 0;
    // Sets the value of the first field the selector finds, as typing would
    // (its input and change events fire); answers elementSubmitted (false
    // when nothing matches or it takes no value). The value reaches the
    // page as data and is kept nowhere.
    virtual void fillField(quint64 ticket, const QString& selector, const QString& value) {
        Q_UNUSED(selector);
        Q_UNUSED(value);
        QMetaObject::invokeMethod(
            this, [this, ticket] { Q_EMIT elementSubmitted(ticket, false); }, Qt::QueuedConnection);
    }
    // Reads the first element the selector finds: the attribute, or its text
    // when `attribute` is empty; answers elementRead (ok false when nothing
    // matches or the element has no such attribute).
    virtual void readElement(quint64 ticket, const QString& selector, const QString& attribute) = 0;
    // A navigation of the page has started and not yet finished.
    virtual bool isLoading() const { return false; }
    // A folder page's entries: every element `selector` finds, at most
    // `limit`. An entry's address is its `attribute`, on it or on the first
    // element inside it that has one; its name and size are read by their
    // selectors in it (the element itself where it matches). Answers
    // entriesRead with {address, name, size} for each (empty where nothing
    // reads) and whether the page finds more (ok false for a selector the
    // page cannot take).
    struct EntryQuery {
        QString selector, attribute;
        QString nameSelector, nameAttribute;
        QString sizeSelector, sizeAttribute;
        int limit = 0;
    };
    virtual void readEntries(quint64 ticket, const EntryQuery& query) {
        Q_UNUSED(query);
        QMetaObject::invokeMethod(
            this, [this, ticket] { Q_EMIT entriesRead(ticket, false, {}, false); },
            Qt::QueuedConnection);
    }
    // The current page's address, against which its relative addresses count.
    virtual QString pageAddress() const = 0;
    // What a request for a file the pages led to carries to pass for the
    // browser's own: the cookies the engine holds now and its user agent.
    // The Referer is the caller's to give.
    virtual HttpSession session() const = 0;
    // Cookies set for the pages of this address's host before it loads.
    using CookiePairs = std::vector<std::pair<std::string, std::string>>;
    virtual void presetCookies(const QString& url, const CookiePairs& cookies) = 0;
    // Ends the current page, however hung its script; the next navigation
    // gets a page that works.
    virtual void abandonPage() = 0;
    // Lets the page go while nothing needs it, and with it the engine's
    // process behind it; the next request opens a new page. The engine, its
    // cookies and the widget stay (the widget empty until then).
    virtual void releasePage() {}
    // While held, the page's next move to another address (as `hold`
    // names them) is not made: navigationHeld tells of it instead, once,
    // and the hold ends. A navigation the caller starts is never held.
    virtual void holdNavigation(NavigationHold hold) { Q_UNUSED(hold); }
    // A page of its own for work beside this one (the link check), owned by
    // `parent`: never shown, it shares the engine and its cookies but
    // nothing else, so it disturbs no page of this browser. Nothing when
    // the engine cannot start.
    virtual Browser* makeHiddenPage(QObject* parent) {
        Q_UNUSED(parent);
        return nullptr;
    }

  Q_SIGNALS:
    // A top-level document finished loading: ok is false for a failed load
    // (an error page); a load replaced by another navigation reports nothing.
    // Frames report nothing: a frame that completed before its page would
    // have the form submitted, or the wait page read, before they exist.
    void documentComplete(bool ok);
    void elementSubmitted(quint64 ticket, bool submitted);
    void bodyMarkupRead(quint64 ticket, bool ok, const QString& markup);
    void elementRead(quint64 ticket, bool ok, const QString& text);
    void entriesRead(quint64 ticket, bool ok, const QList<QStringList>& entries, bool more);
    // The page asked for a download: the browser saves nothing itself and
    // gives the address the download comes from, after redirects.
    void downloadRequested(const QString& url);
    void navigationHeld(const HeldNavigation& held);
    // The page is gone from under its caller: its renderer crashed or was
    // killed (crashed), or its script closed its window. A page the browser
    // ends itself (abandonPage, a new navigation) reports nothing.
    void pageLost(bool crashed);
    // The engine cannot start (its module did not load): every request is
    // answered as failed, and nothing can be downloaded until the program
    // runs again. `reason` says what was looked for and why it failed.
    void cannotStart(const QString& reason);
};

} // namespace vardelo
