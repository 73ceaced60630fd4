#include "platform/WebEngineBrowser.h"

#include <QPointer>
#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <memory>
#include <utility>

#include <signal.h>

namespace vardelo {
namespace {

// The script finds the element and submits it as a form, even when a field
// named "submit" hides the form's own method. Anything else is no form.
QString submitScript(const QString& id) {
    return QStringLiteral(
               "(function () {"
               "  var element = document.getElementById('%1');"
               "  if (!element) return false;"
               "  if (element instanceof HTMLFormElement) {"
               "    HTMLFormElement.prototype.submit.call(element); return true; }"
               "  if (typeof element.submit === 'function') { element.submit(); return true; }"
               "  return false;"
               "})()")
        .arg(id);
}

// The pages run unattended: their script dialogs would stop the queue until
// somebody answered, and their console chatter is nobody's business.
class QuietPage final : public QWebEnginePage {
  public:
    using QWebEnginePage::QWebEnginePage;

  protected:
    void javaScriptAlert(const QUrl&, const QString&) override {}
    bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override {
        return false;
    }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                  const QString&) override {}
};

const QString kBodyScript =
    QStringLiteral("(function () { return document.body ? document.body.innerHTML : null; })()");

} // namespace

WebEngineBrowser::WebEngineBrowser(QObject* parent)
    : Browser(parent), view_(new QWebEngineView), pageScripts_(new QObject(this)) {
    view_->setPage(new QuietPage(view_));
    connect(view_->page(), &QWebEnginePage::loadingChanged, this,
            &WebEngineBrowser::onLoadingChanged);
    connect(view_->page(), &QWebEnginePage::renderProcessTerminated, this,
            &WebEngineBrowser::rendererEnded);
}

WebEngineBrowser::~WebEngineBrowser() {
    if (view_ && !view_->parent())
        delete view_;
}

QWidget* WebEngineBrowser::widget() {
    return view_;
}

void WebEngineBrowser::navigate(const QString& url) {
    // The address goes to the engine as it is: no scheme is guessed and no
    // local path becomes a file: address.
    const QUrl address(url, QUrl::StrictMode);
    if (!address.isValid() || address.isRelative()) {
        // Nothing will load; say so as a failed load would, but not from
        // inside the caller's own step.
        QMetaObject::invokeMethod(
            this, [this] { Q_EMIT documentComplete(false); }, Qt::QueuedConnection);
        return;
    }
    // A page that still owes a script answer is hung or busy, and its
    // renderer would hold the next page of its host: it goes first.
    if (endPageScripts())
        abandonPage();
    if (rendererEnding_) {
        afterRendererEnds_ = address;
        return;
    }
    view_->setUrl(address);
}

void WebEngineBrowser::rendererEnded() {
    rendererEnding_ = false;
    if (const QUrl address = std::exchange(afterRendererEnds_, QUrl()); address.isValid())
        view_->setUrl(address);
}

bool WebEngineBrowser::endPageScripts() {
    // Deleting the scope cancels the time-outs and answers the rest as failed.
    const bool owed = unansweredScripts_ > 0;
    delete pageScripts_;
    pageScripts_ = new QObject(this);
    unansweredScripts_ = 0;
    return owed;
}

void WebEngineBrowser::onLoadingChanged(const QWebEngineLoadingInfo& info) {
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        Q_EMIT documentComplete(true);
        break;
    case QWebEngineLoadingInfo::LoadFailedStatus:
        Q_EMIT documentComplete(false);
        break;
    default:
        break; // started, or stopped by another navigation
    }
}

template <typename Answer>
void WebEngineBrowser::runScript(quint64 ticket, const QString& script, Answer answer) {
    // Exactly one answer: the script's, the time-out's or the page's end,
    // whichever is first.
    auto answered = std::make_shared<bool>(false);
    QPointer<WebEngineBrowser> self(this);
    QPointer<QObject> page(pageScripts_);
    const auto finish = [self, page, answered, ticket, answer](const QVariant& result) {
        if (!self || *answered)
            return;
        *answered = true;
        if (page)
            --self->unansweredScripts_;
        answer(self.data(), ticket, result);
    };
    ++unansweredScripts_;
    QTimer::singleShot(scriptTimeout_, pageScripts_, [this, finish] {
        finish(QVariant());
        abandonPage(); // a renderer that does not answer would hold later pages too
    });
    connect(pageScripts_, &QObject::destroyed, this, [this, finish] {
        QMetaObject::invokeMethod(
            this, [finish] { finish(QVariant()); }, Qt::QueuedConnection);
    });
    view_->page()->runJavaScript(script, finish);
}

void WebEngineBrowser::abandonPage() {
    endPageScripts();
    // A script in an endless loop cannot be stopped from outside its
    // renderer, and every later page of its host would wait for it. The
    // process is the page's own; the next navigation waits for its end and
    // starts a new one.
    const qint64 pid = view_->page()->renderProcessPid();
    if (pid > 0 && ::kill(static_cast<pid_t>(pid), SIGKILL) == 0)
        rendererEnding_ = true;
}

void WebEngineBrowser::submitElement(quint64 ticket, const QString& id) {
    runScript(ticket, submitScript(id), [](WebEngineBrowser* self, quint64 t, const QVariant& r) {
        Q_EMIT self->elementSubmitted(t, r.toBool());
    });
}

void WebEngineBrowser::readBodyMarkup(quint64 ticket) {
    runScript(ticket, kBodyScript, [](WebEngineBrowser* self, quint64 t, const QVariant& r) {
        const bool ok = r.isValid() && !r.isNull();
        Q_EMIT self->bodyMarkupRead(t, ok, ok ? r.toString() : QString());
    });
}

} // namespace vardelo
